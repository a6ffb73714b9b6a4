#include "trash.h"

#include "durablefile.h"
#include "filestep.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{

namespace
{

// A trash folder is only used when it is a real directory of ours: a link or a folder of another
// user could hand our files to someone else.
bool ensureOwnFolder(const QByteArray& path)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {
    };
    if (::lstat(path.constData(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        errno = EACCES;
        return false;
    }
    return true;
}

bool ensureTrash(const QByteArray& trash)
{
    return ensureOwnFolder(trash) && ensureOwnFolder(trash + "/files") &&
           ensureOwnFolder(trash + "/info");
}

// The top folder of the mount that holds `folder` (an absolute, resolved path on device `dev`).
QByteArray mountTop(QByteArray folder, dev_t dev)
{
    while (folder != "/") {
        const qsizetype slash = folder.lastIndexOf('/');
        const QByteArray parent = slash <= 0 ? QByteArray("/") : folder.left(slash);
        struct stat st {
        };
        if (::stat(parent.constData(), &st) != 0 || st.st_dev != dev)
            break;
        folder = parent;
    }
    return folder;
}

// Path= value: every byte outside the unreserved set and '/' as %XX, as file managers expect.
QByteArray escapePath(const QByteArray& path)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(path.size() * 3);
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                          (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                          byte == '_' || byte == '~' || byte == '/';
        if (keep) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
    }
    return out;
}

// Name in the trash for the n-th try: "a.png", "a.2.png", "a.3.png", ... The name is shortened
// so that name + ".trashinfo" stays within the file-name limit.
QByteArray trashName(const QByteArray& name, int n)
{
    const qsizetype dot = name.lastIndexOf('.');
    QByteArray stem = dot > 0 ? name.left(dot) : name;
    const QByteArray ext = dot > 0 ? name.mid(dot) : QByteArray();
    const QByteArray suffix = n > 1 ? "." + QByteArray::number(n) : QByteArray();
    const qsizetype room = NAME_MAX - qsizetype(sizeof(".trashinfo")) - suffix.size() - ext.size();
    if (stem.size() > room)
        stem.truncate(qMax<qsizetype>(room, 1));
    return stem + suffix + ext;
}

} // namespace

QString HomeTrashFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(data) + QStringLiteral("/Trash");
}

namespace
{

// Where `path` goes in the trash of its file system.
struct TrashTarget {
    QByteArray raw;          // the file, absolute
    QByteArray folder;       // its folder, resolved
    QByteArray name;         // its name
    QByteArray trash;        // the trash folder that takes it
    QByteArray recordedPath; // Path= of its record
};

bool resolveTarget(const QString& path, TrashTarget& target)
{
    target.raw = QFile::encodeName(QDir::cleanPath(QDir(path).absolutePath()));
    struct stat file {
    };
    if (target.raw.isEmpty() || ::lstat(target.raw.constData(), &file) != 0)
        return false;

    // The folder is resolved, the name is not: a link is trashed as the link.
    const qsizetype slash = target.raw.lastIndexOf('/');
    target.name = target.raw.mid(slash + 1);
    char resolved[PATH_MAX];
    if (target.name.isEmpty() ||
        ::realpath(slash == 0 ? "/" : target.raw.left(slash).constData(), resolved) == nullptr)
        return false;
    target.folder = QByteArray(resolved);
    const QByteArray absolute =
        (target.folder == "/" ? QByteArray() : target.folder) + "/" + target.name;

    // Files on the home trash's file system go there; a file elsewhere goes to the trash at the
    // top of its own mount, never copied home.
    target.trash = QFile::encodeName(HomeTrashFolder());
    target.recordedPath = absolute;
    const QByteArray dataHome = target.trash.left(target.trash.lastIndexOf('/'));
    QDir().mkpath(QFile::decodeName(dataHome));
    struct stat home {
    };
    if (::stat(dataHome.constData(), &home) != 0)
        return false;
    if (home.st_dev != file.st_dev) {
        const QByteArray top = mountTop(target.folder, file.st_dev);
        target.trash =
            (top == "/" ? QByteArray() : top) + "/.Trash-" + QByteArray::number(::geteuid());
        target.recordedPath = absolute.mid(top == "/" ? 1 : top.size() + 1);
    }
    return ensureTrash(target.trash);
}

TTrashSlot slotOf(const TrashTarget& target, int n)
{
    const QByteArray entry = trashName(target.name, n);
    return {QFile::decodeName(target.trash + "/files/" + entry),
            QFile::decodeName(target.trash + "/info/" + entry + ".trashinfo"),
            QFile::decodeName(target.trash + "/files/." + entry + ".grandora.part")};
}

QByteArray recordOf(const TrashTarget& target)
{
    return "[Trash Info]\nPath=" + escapePath(target.recordedPath) + "\nDeletionDate=" +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
           "\n";
}

} // namespace

bool RecycleFile(const QString& path)
{
    TrashTarget target;
    if (!resolveTarget(path, target))
        return false;
    const QByteArray record = recordOf(target);
    for (int n = 1; n < 10000; ++n) {
        const TTrashSlot slot = slotOf(target, n);
        BeforeFileStep();
        if (!WriteNewFileDurably(slot.info, record)) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        BeforeFileStep();
        if (RenameNoReplace(QFile::decodeName(target.raw), slot.file)) {
            SyncFolder(QFile::decodeName(target.trash + "/files"));
            SyncFolder(QFile::decodeName(target.folder));
            return true;
        }
        const int error = errno;
        QFile::remove(slot.info);
        if (error != EEXIST) {
            errno = error;
            return false;
        }
    }
    errno = EEXIST;
    return false;
}

TTrashSlot TrashSlotFor(const QString& path, int n)
{
    TrashTarget target;
    if (!resolveTarget(path, target))
        return {};
    return slotOf(target, n);
}

bool WriteTrashInfo(const TTrashSlot& slot, const QString& path)
{
    TrashTarget target;
    return resolveTarget(path, target) && WriteNewFileDurably(slot.info, recordOf(target));
}

bool KeepInTrashSlot(const QString& path, const TTrashSlot& slot)
{
    const QByteArray raw = QFile::encodeName(path);
    const QString files = slot.file.left(slot.file.lastIndexOf(QLatin1Char('/')));
    if (::link(raw.constData(), QFile::encodeName(slot.file).constData()) != 0) {
        // A file system without hard links (FAT) gets a complete, synced copy that takes the
        // slot's name only when whole.
        if (errno != EPERM && errno != EMLINK && errno != ENOTSUP && errno != EXDEV)
            return false;
        BeforeFileStep();
        if (!CopyToNewFile(path, slot.part, FilePermissions(path), TSync::Yes))
            return false;
        BeforeFileStep();
        if (!RenameNoReplace(slot.part, slot.file)) {
            const int error = errno;
            QFile::remove(slot.part);
            errno = error;
            return false;
        }
    }
    return SyncFolder(files);
}

namespace
{

// What a .trashinfo record says: the path it names (decoded) and when it was deleted.
struct TrashRecord {
    QByteArray path;
    QDateTime deleted;
};

std::optional<TrashRecord> readTrashInfo(const QString& infoFile)
{
    QFile file(infoFile);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    TrashRecord record;
    bool inGroup = false;
    for (const QByteArray& raw : file.read(64 * 1024).split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Trash Info]";
        } else if (inGroup && line.startsWith("Path=")) {
            record.path = QByteArray::fromPercentEncoding(line.mid(5));
        } else if (inGroup && line.startsWith("DeletionDate=")) {
            // Local time without a zone, as every file manager writes it.
            record.deleted = QDateTime::fromString(QString::fromLatin1(line.mid(13)), Qt::ISODate);
        }
    }
    if (record.path.isEmpty() || !record.deleted.isValid())
        return std::nullopt;
    return record;
}

// A trash folder and the Path= values that name the file in it.
struct TrashToSearch {
    QByteArray folder;
    QList<QByteArray> paths;
};

QList<TrashToSearch> trashesFor(const QString& originalPath)
{
    const QByteArray absolute =
        QFile::encodeName(QDir::cleanPath(QDir(originalPath).absolutePath()));
    const qsizetype slash = absolute.lastIndexOf('/');
    const QByteArray name = absolute.mid(slash + 1);
    QByteArray folder = slash <= 0 ? QByteArray("/") : absolute.left(slash);
    // Records name the file by its resolved folder; other programs may have kept the path as
    // they were given it.
    char resolved[PATH_MAX];
    if (::realpath(folder.constData(), resolved) != nullptr)
        folder = QByteArray(resolved);
    const QByteArray recorded = (folder == "/" ? QByteArray() : folder) + "/" + name;
    QList<QByteArray> absolutes{recorded};
    if (absolute != recorded)
        absolutes << absolute;

    QList<TrashToSearch> trashes{{QFile::encodeName(HomeTrashFolder()), absolutes}};
    struct stat st {
    };
    if (::stat(folder.constData(), &st) == 0) {
        // A file from another mount went to the trash at its top, named relative to it.
        const QByteArray top = mountTop(folder, st.st_dev);
        const QByteArray base = top == "/" ? QByteArray() : top;
        QList<QByteArray> paths = absolutes;
        paths << recorded.mid(base.size() + 1);
        trashes << TrashToSearch{base + "/.Trash-" + QByteArray::number(::geteuid()), paths};
    }
    return trashes;
}

} // namespace

std::optional<QString> FindTrashedOriginal(const QString& originalPath,
                                           const QDateTime& trashedAfter)
{
    // Records keep whole seconds: a file trashed in the same second as `trashedAfter` counts.
    const QDateTime after = trashedAfter.addMSecs(-trashedAfter.time().msec());
    std::optional<QString> newest;
    QDateTime newestDeleted;
    qint64 newestRecordTime = 0;
    for (const TrashToSearch& trash : trashesFor(originalPath)) {
        // Only a trash of ours is believed: another user's folder could name any file.
        struct stat folder {
        };
        if (::lstat(trash.folder.constData(), &folder) != 0 || !S_ISDIR(folder.st_mode) ||
            folder.st_uid != ::geteuid())
            continue;
        const QString info = QFile::decodeName(trash.folder + "/info");
        const QString files = QFile::decodeName(trash.folder + "/files/");
        const QStringList records =
            QDir(info).entryList({QStringLiteral("*.trashinfo")}, QDir::Files | QDir::Hidden);
        for (const QString& recordName : records) {
            const QString recordPath = info + QLatin1Char('/') + recordName;
            const std::optional<TrashRecord> record = readTrashInfo(recordPath);
            if (!record || record->deleted < after || !trash.paths.contains(record->path))
                continue;
            const QString file = files + recordName.chopped(int(sizeof(".trashinfo")) - 1);
            struct stat st {
            };
            if (::lstat(QFile::encodeName(file).constData(), &st) != 0)
                continue; // a record whose file was removed from the trash since
            // Two deletions within one second: the record written last is the newer one.
            struct stat recordStat {
            };
            ::stat(QFile::encodeName(recordPath).constData(), &recordStat);
            const qint64 recordTime =
                qint64(recordStat.st_mtim.tv_sec) * 1000000000 + recordStat.st_mtim.tv_nsec;
            if (!newest || record->deleted > newestDeleted ||
                (record->deleted == newestDeleted && recordTime > newestRecordTime)) {
                newest = file;
                newestDeleted = record->deleted;
                newestRecordTime = recordTime;
            }
        }
    }
    return newest;
}

} // namespace platform
