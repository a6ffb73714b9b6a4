#include "files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{

namespace
{

QString withSlash(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString xdgFolder(const char* variable, const char* fallbackUnderHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + QLatin1Char('/') + QLatin1String(fallbackUnderHome));
}

// A folder of ours that nobody else can read or swap: a real directory (not a link), owned by us,
// mode 0700.
bool isPrivateFolder(const QByteArray& path)
{
    struct stat st {
    };
    if (::lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 0777) == 0700;
}

} // namespace

QString ExecutablePath()
{
    const QString real = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return real.isEmpty() ? QCoreApplication::applicationFilePath() : real;
}

namespace
{
QString executableFolderOverride;
}

QString ExecutableFolder()
{
    if (!executableFolderOverride.isEmpty())
        return withSlash(executableFolderOverride);
    return withSlash(QFileInfo(ExecutablePath()).absolutePath());
}

void SetExecutableFolderForTesting(const QString& folder)
{
    executableFolderOverride = folder;
}

QString ProgramDataFolder()
{
    return ProgramDataFolderFor(ExecutableFolder());
}

QString ProgramDataFolderFor(const QString& executableFolder)
{
    const QString beside = withSlash(executableFolder);
    for (const char* name : {"Languages", "realesrgan", "license.txt"}) {
        if (QFileInfo::exists(beside + QLatin1String(name)))
            return beside;
    }
    const QString systemLayout = QDir::cleanPath(beside + QStringLiteral("../lib/grandora"));
    return QFileInfo(systemLayout).isDir() ? withSlash(systemLayout) : beside;
}

bool IsFolderWritable(const QString& folder)
{
    const QByteArray probe = QFile::encodeName(withSlash(folder) + QStringLiteral("chk.tmp"));
    int fd;
    do {
        fd = ::open(probe.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.constData());
    return true;
}

qint64 FileSizeOf(const QString& path)
{
    struct stat info {
    };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return info.st_size;
}

TFileContent ReadRegularFile(const QString& path, qint64 maxBytes)
{
    const auto failed = [](int error) { return TFileContent{TReadStatus::Failed, error, {}}; };
    const QByteArray name = QFile::encodeName(path);
    struct stat info {
    };
    // Looked at before opening, because merely opening a FIFO blocks and opening a device can
    // have effects of its own.
    if (::stat(name.constData(), &info) != 0)
        return errno == ENOENT ? TFileContent{TReadStatus::Missing, ENOENT, {}} : failed(errno);
    if (!S_ISREG(info.st_mode))
        return {TReadStatus::NotRegularFile, 0, {}};
    int fd;
    do {
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno == ENOENT ? TFileContent{TReadStatus::Missing, ENOENT, {}} : failed(errno);
    const auto closeLater = qScopeGuard([fd] { ::close(fd); });
    // Again on what was opened: the name may have been pointed elsewhere in between.
    if (::fstat(fd, &info) != 0)
        return failed(errno);
    if (!S_ISREG(info.st_mode))
        return {TReadStatus::NotRegularFile, 0, {}};
    if (info.st_size > maxBytes)
        return failed(EFBIG);

    // One byte more than the size, so the end shows without growing; the file may still grow
    // while it is read, or report no size at all.
    QByteArray bytes(static_cast<qsizetype>(info.st_size) + 1, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > maxBytes)
                return failed(EFBIG);
            bytes.resize(static_cast<qsizetype>(std::min(maxBytes + 1, total * 2 + 4096)));
        }
        const ssize_t got =
            ::read(fd, bytes.data() + total, static_cast<size_t>(bytes.size() - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return failed(errno);
        if (got == 0)
            break;
        total += got;
    }
    bytes.truncate(static_cast<qsizetype>(total));
    return {TReadStatus::Read, 0, bytes};
}

QString AppDataFolder()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

QString TempFolder()
{
    const QString base = xdgFolder("XDG_CACHE_HOME", ".cache") + QStringLiteral("/grandora");
    const QString temp = base + QStringLiteral("/tmp");
    QDir().mkpath(base);
    const QByteArray tempPath = QFile::encodeName(temp);
    if (::mkdir(tempPath.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    if (!isPrivateFolder(tempPath))
        return {};
    return temp + QLatin1Char('/');
}

} // namespace platform
