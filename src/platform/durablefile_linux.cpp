#include "durablefile.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{

namespace
{

int openRetry(const char* path, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Closes a descriptor on every path without disturbing errno of the failure being reported.
class Descriptor
{
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            const int saved = errno;
            ::close(fd_);
            errno = saved;
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 || errno == EINTR;
    }

private:
    int fd_;
};

bool copyData(int from, int to)
{
    char buffer[64 * 1024];
    for (;;) {
        ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        const char* data = buffer;
        while (got > 0) {
            const ssize_t written = ::write(to, data, static_cast<size_t>(got));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                if (written == 0)
                    errno = EIO;
                return false;
            }
            data += written;
            got -= written;
        }
    }
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

QString CutToBytes(const QString& name, qsizetype bytes)
{
    QString cut = name;
    while (QFile::encodeName(cut).size() > bytes && !cut.isEmpty()) {
        cut.chop(1);
        if (!cut.isEmpty() && cut.back().isHighSurrogate())
            cut.chop(1);
    }
    return cut;
}

QString HiddenPartName(const QString& hint)
{
    const QByteArray tag =
        ".grandora-" + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
    return QLatin1Char('.') + CutToBytes(hint, NAME_MAX - 1 - tag.size()) +
           QString::fromLatin1(tag);
}

bool CopyToNewFile(const QString& source, const QString& path, int permissions, TSync sync)
{
    const Descriptor in(openRetry(QFile::encodeName(source).constData(), O_RDONLY));
    if (in.get() < 0)
        return false;
    const QByteArray raw = QFile::encodeName(path);
    // Created private and widened afterwards, so the data is never readable by more users than
    // the final permissions allow.
    Descriptor out(
        openRetry(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, permissions >= 0 ? 0600 : 0666));
    if (out.get() < 0)
        return false;
    const bool done =
        copyData(in.get(), out.get()) &&
        (permissions < 0 || ::fchmod(out.get(), static_cast<mode_t>(permissions) & 07777) == 0) &&
        (sync == TSync::No || ::fsync(out.get()) == 0) && out.close();
    if (done)
        return true;
    const int error = errno;
    ::unlink(raw.constData());
    errno = error;
    return false;
}

bool WriteNewFileDurably(const QString& path, const QByteArray& bytes)
{
    const QByteArray raw = QFile::encodeName(path);
    Descriptor out(openRetry(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600));
    if (out.get() < 0)
        return false;
    const bool written = writeAll(out.get(), bytes) && ::fsync(out.get()) == 0;
    const int error = errno;
    out.close();
    if (written)
        return true;
    ::unlink(raw.constData());
    errno = error;
    return false;
}

int FilePermissions(const QString& path)
{
    struct stat st {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

bool RenameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without RENAME_NOREPLACE: a hard link is exclusive, then the old name goes.
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    ::unlink(source.constData());
    return true;
}

bool RenameReplace(const QString& from, const QString& to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool SyncFolder(const QString& folder)
{
    const Descriptor fd(openRetry(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY));
    return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

} // namespace platform
