#include "imagelist.h"

#include "batch/imageformats.h"
#include "platform/files.h"

#include <QCoreApplication>
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

void AppendImage(TImageEntries& records, const QString& path)
{
    records.push_back(TImageEntry{path, {}, false, {}});
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
    return FormatThousands(platform::FileSizeOf(path));
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
};

void ImageListFiller::AddFolder(const QString& folderName)
{
    ScanState state;
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
            AppendImage(records_, prefix + entry.name);
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
            AppendImage(records_, name);
        else
            skipped << name;
    }
    MakeAdditionVisible();
    return skipped;
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
