#include "placementjournal.h"

#include "platform/durablefile.h"
#include "platform/files.h"
#include "platform/filestep.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const char kindKey[] = "kind";

bool exists(const QString& path)
{
    struct stat st {
    };
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// Names are kept as the bytes of the file system, base64-coded: a file name may hold a line
// break.
QByteArray line(const char* key, const QString& value)
{
    return QByteArray(key) + ' ' + QFile::encodeName(value).toBase64() + '\n';
}

// The entry's values; a line cut off by a kill has no line break and is not taken.
std::map<std::string, QString> parse(const QByteArray& bytes)
{
    std::map<std::string, QString> values;
    for (const QByteArray& entry : bytes.split('\n').mid(0, bytes.count('\n'))) {
        const qsizetype blank = entry.indexOf(' ');
        if (blank > 0)
            values[entry.left(blank).toStdString()] =
                QFile::decodeName(QByteArray::fromBase64(entry.mid(blank + 1)));
    }
    return values;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

void remove(const QString& path)
{
    if (!path.isEmpty())
        ::unlink(QFile::encodeName(path).constData());
}

// What a placement that was cut off leaves, made whole.
void settle(const std::map<std::string, QString>& entry)
{
    const auto value = [&](const char* key) {
        const auto found = entry.find(key);
        return found == entry.end() ? QString() : found->second;
    };
    const QString kind = value(kindKey);
    const QString original = value("original");
    const QString part = value("part");
    const QString trashFile = value("trashfile");
    const QString trashInfo = value("trashinfo");
    remove(value("trashpart"));
    if (kind == QLatin1String("recycle") && exists(part) && exists(trashFile)) {
        // The original is safe in the trash: the enlarged image takes its name, as the placement
        // was about to do.
        if (platform::RenameReplace(part, original))
            platform::SyncFolder(QFileInfo(original).path());
    }
    // Otherwise the original never left its name; the unfinished copy goes.
    remove(part);
    if (!trashInfo.isEmpty() && !exists(trashFile))
        remove(trashInfo);
}

} // namespace

QString TPlacementJournal::Folder()
{
    const QString temp = platform::TempFolder();
    if (temp.isEmpty())
        return {};
    const QString folder = temp + QStringLiteral("journal/");
    const QByteArray raw = QFile::encodeName(folder);
    if (::mkdir(raw.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    return folder;
}

TPlacementJournal::TPlacementJournal(QString path, int fd, bool durable)
    : path_(std::move(path)), fd_(fd), durable_(durable)
{
}

TPlacementJournal::~TPlacementJournal()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::unique_ptr<TPlacementJournal> TPlacementJournal::Begin(const QString& folder, TKind kind,
                                                            const QString& original,
                                                            const QString& part, bool durable)
{
    if (folder.isEmpty())
        return nullptr;
    const char* kindName = kind == TKind::Copy              ? "copy"
                           : kind == TKind::ReplaceDeleting ? "delete"
                                                            : "recycle";
    const QByteArray bytes = QByteArray(kindKey) + ' ' + QByteArray(kindName).toBase64() + '\n' +
                             line("original", original) + line("part", part);
    platform::BeforeFileStep();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = folder +
                             QString::number(QRandomGenerator::global()->generate64(), 16) +
                             QStringLiteral(".journal");
        const QByteArray raw = QFile::encodeName(path);
        int fd;
        do {
            fd = ::open(raw.constData(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return nullptr;
        // Held while the placement runs, so that another instance's recovery leaves it alone.
        std::unique_ptr<TPlacementJournal> journal(new TPlacementJournal(path, fd, durable));
        if (::flock(fd, LOCK_EX) != 0 || !writeAll(fd, bytes) ||
            (durable && (::fdatasync(fd) != 0 || !platform::SyncFolder(folder)))) {
            ::unlink(raw.constData());
            return nullptr;
        }
        return journal;
    }
    return nullptr;
}

bool TPlacementJournal::Append(const char* key, const QString& value)
{
    platform::BeforeFileStep();
    return writeAll(fd_, line(key, value)) && (!durable_ || ::fdatasync(fd_) == 0);
}

bool TPlacementJournal::NoteTrashSlot(const QString& file, const QString& info, const QString& part)
{
    return Append("trashfile", file) && Append("trashinfo", info) && Append("trashpart", part);
}

void TPlacementJournal::Finish()
{
    platform::BeforeFileStep();
    ::unlink(QFile::encodeName(path_).constData());
}

int TPlacementJournal::Recover(const QString& folder)
{
    if (folder.isEmpty())
        return 0;
    int handled = 0;
    for (const QString& name :
         QDir(folder).entryList({QStringLiteral("*.journal")}, QDir::Files | QDir::Hidden)) {
        const QByteArray raw = QFile::encodeName(folder + name);
        int fd;
        do {
            fd = ::open(raw.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            QFile file;
            if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
                settle(parse(file.readAll()));
                ::unlink(raw.constData());
                ++handled;
            }
        }
        ::close(fd);
    }
    return handled;
}
