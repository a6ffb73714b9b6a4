#include "imagelist.h"

#include "batch/imageformats.h"
#include "i18n/shownnumbers.h"
#include "i18n/translation.h"
#include "platform/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <set>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>

QString LastFolder;

namespace
{

// A scan shows its additions at most this often; the user sees the count climb without the
// window repainting once per file.
constexpr qint64 ShowIntervalMs = 30;

// A letter as a set of both its cases, so a dialog that matches patterns case-sensitively still
// finds IMG_0001.JPG under *.jpg.
QString anyCasePattern(const QString& pattern)
{
    if (pattern == QStringLiteral("*.*"))
        return QStringLiteral("*");
    QString result;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            result += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            result += c;
    }
    return result;
}

} // namespace

QString ListedName(const QString& path)
{
    // Most names come from a folder scan or a dialog, absolute and clean already: one look at
    // each slash tells, without making a copy.
    if (path.startsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('/'))) {
        const QChar* text = path.constData();
        const qsizetype last = path.size() - 1;
        bool clean = true;
        for (qsizetype i = 0; i < last && clean; ++i)
            clean = text[i] != QLatin1Char('/') ||
                    (text[i + 1] != QLatin1Char('/') && text[i + 1] != QLatin1Char('.'));
        if (clean)
            return path;
    }
    const QString absolute =
        QDir::isAbsolutePath(path) ? path : QDir::currentPath() + QLatin1Char('/') + path;
    const QString cleaned = QDir::cleanPath(absolute);
    // The entry's own string where nothing changed: a long list keeps one copy of each name.
    return cleaned == path ? path : cleaned;
}

QString LeftOutText(const TLeftOut& leftOut)
{
    QStringList parts;
    if (leftOut.notImages.size() == 1)
        parts << FillTemplate(TranslateText("Not an image the program can enlarge: %s"),
                              leftOut.notImages);
    else if (leftOut.notImages.size() > 1)
        parts << FillTemplate(TranslateText("%s names skipped: not images the program can enlarge"),
                              {ShownNumber(leftOut.notImages.size())});
    if (leftOut.alreadyListed == 1)
        parts << FillTemplate(TranslateText("Already in the list, not added again: %s"),
                              {leftOut.firstAlreadyListed});
    else if (leftOut.alreadyListed > 1)
        parts << FillTemplate(TranslateText("%s files already in the list, not added again"),
                              {ShownNumber(leftOut.alreadyListed)});
    return parts.join(QStringLiteral(" \u00b7 "));
}

void DeleteRecordsAt(TImageEntries& records, const std::vector<char>& marked)
{
    size_t kept = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (i < marked.size() && marked[i])
            continue;
        if (kept != i)
            records[kept] = std::move(records[i]);
        ++kept;
    }
    records.resize(kept);
}

int CompareNaturally(const QString& a, const QString& b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Leading zeros aside, the longer run is the larger number.
            while (i < a.size() && a[i] == QLatin1Char('0'))
                ++i;
            while (j < b.size() && b[j] == QLatin1Char('0'))
                ++j;
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            if (endA - i != endB - j)
                return endA - i < endB - j ? -1 : 1;
            if (const int order =
                    QStringView(a).mid(i, endA - i).compare(QStringView(b).mid(j, endB - j));
                order != 0)
                return order;
            i = endA;
            j = endB;
            continue;
        }
        const QChar x = a[i].toCaseFolded();
        const QChar y = b[j].toCaseFolded();
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return a.compare(b);
}

QString FormatThousands(qint64 value)
{
    return QLocale::system().toString(value);
}

QString SizeColumnText(const QString& path)
{
    // A file that is not there has no size; its status says why.
    const qint64 size = platform::FileSizeOf(path);
    return size < 0 ? QString() : FormatThousands(size);
}

QString QtFileFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << anyCasePattern(pattern.trimmed());
        entries << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

struct ImageListFiller::ScanState {
    // Every folder this scan has entered, by device and inode: a link back to an ancestor or
    // to a folder seen before leads nowhere new.
    std::set<std::pair<dev_t, ino_t>> entered;
    // The folder the scan began at, shared by every entry it adds.
    QString origin;
};

void ImageListFiller::AddFolder(const QString& folderName)
{
    ScanState state;
    state.origin = ListedName(folderName);
    // The first image found shows at once; the interval paces the rest.
    sinceShown_.invalidate();
    AddAllFilesInDir(folderName, state);
    if (unshown_)
        MakeAdditionVisible();
}

void ImageListFiller::AddAllFilesInDir(const QString& dirName, ScanState& state)
{
    DIR* dir = ::opendir(QFile::encodeName(dirName).constData());
    if (!dir)
        return;
    const int fd = ::dirfd(dir);
    struct stat info;
    if (::fstat(fd, &info) != 0 || !state.entered.insert({info.st_dev, info.st_ino}).second) {
        ::closedir(dir);
        return;
    }
    struct Entry {
        QString name;
        bool isFolder;
    };
    std::vector<Entry> entries;
    while (const dirent* entry = ::readdir(dir)) {
        const char* rawName = entry->d_name;
        if (rawName[0] == '.' && (rawName[1] == 0 || (rawName[1] == '.' && rawName[2] == 0)))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
            isFolder = ::fstatat(fd, rawName, &info, 0) == 0 && S_ISDIR(info.st_mode);
        if (isFolder && !IncludeSubfolders())
            continue;
        const QString name = QFile::decodeName(rawName);
        if (!isFolder && !IsSupportedImageName(name))
            continue;
        // A name the user's encoding cannot carry would come back as another name.
        if (QFile::encodeName(name) != rawName)
            continue;
        entries.push_back({name, isFolder});
    }
    ::closedir(dir);
    // As a file manager shows the folder: subfolders first, then the images, each by name with
    // numbers in their value (IMG_2 before IMG_10).
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.isFolder != b.isFolder)
            return a.isFolder;
        return CompareNaturally(a.name, b.name) < 0;
    });
    const QString prefix =
        dirName.endsWith(QLatin1Char('/')) ? dirName : dirName + QLatin1Char('/');
    for (const Entry& entry : entries) {
        if (entry.isFolder) {
            AddAllFilesInDir(prefix + entry.name, state);
        } else {
            if (Append(prefix + entry.name, state.origin))
                Added();
        }
    }
}

QStringList ImageListFiller::AddNames(const QStringList& names)
{
    QStringList skipped;
    for (const QString& name : names) {
        if (QFileInfo(name).isDir())
            AddFolder(name);
        else if (IsSupportedImageName(name))
            Append(name);
        else
            skipped << name;
    }
    MakeAdditionVisible();
    return skipped;
}

void ImageListFiller::Reserve(qsizetype more)
{
    const size_t needed = records_.size() + static_cast<size_t>(more);
    // Grown by half at least, so that many small additions still cost one copy each on average.
    if (needed > records_.capacity())
        records_.reserve(std::max(needed, records_.capacity() * 3 / 2));
    listed_.reserve(listed_.size() + more);
}

bool ImageListFiller::Append(const QString& path, const QString& origin)
{
    TImageEntry entry;
    entry.path = path;
    entry.origin = origin;
    return AppendEntry(entry);
}

bool ImageListFiller::AppendEntry(TImageEntry entry)
{
    const QString name = ListedName(entry.path);
    if (listed_.contains(name)) {
        if (leftOut_.alreadyListed++ == 0)
            leftOut_.firstAlreadyListed = entry.path;
        return false;
    }
    listed_.insert(name);
    entry.serial = nextSerial_++;
    records_.push_back(std::move(entry));
    return true;
}

void ImageListFiller::Forget(const TImageEntry& entry)
{
    listed_.remove(ListedName(entry.path));
}

void ImageListFiller::ForgetAll()
{
    listed_.clear();
}

TLeftOut ImageListFiller::TakeLeftOut()
{
    return std::exchange(leftOut_, TLeftOut());
}

void ImageListFiller::Added()
{
    unshown_ = true;
    if (!sinceShown_.isValid() || sinceShown_.elapsed() >= ShowIntervalMs)
        MakeAdditionVisible();
}

void ImageListFiller::MakeAdditionVisible()
{
    unshown_ = false;
    ShowCount();
    QCoreApplication::processEvents();
    sinceShown_.start();
}
