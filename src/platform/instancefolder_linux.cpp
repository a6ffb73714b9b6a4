#include "instancefolder.h"

#include "files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{

namespace
{

const char ownerFileName[] = ".owner";
const char folderPrefix[] = "run-";

// Between mkdtemp and taking its lock a new folder has no owner file yet; such a folder is only
// taken for abandoned once it is clearly older than that moment.
constexpr std::time_t unownedGraceSeconds = 60;

int openOwnerFile(const QByteArray& folder, int flags)
{
    const QByteArray path = folder + '/' + ownerFileName;
    int fd;
    do {
        fd = ::open(path.constData(), flags | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The lock lives as long as the descriptor's open file, which the kernel closes however the
// process ends.
bool lockOwnerFile(int fd, bool wait)
{
    int result;
    do {
        result = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

QString parentOrTemp(const QString& parent)
{
    return parent.isEmpty() ? TempFolder() : parent;
}

} // namespace

TInstanceFolder::TInstanceFolder(const QString& parent)
{
    const QString base = parentOrTemp(parent);
    if (base.isEmpty())
        return;
    QByteArray pattern = QFile::encodeName(base) + folderPrefix + "XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return;
    ownerLock_ = openOwnerFile(pattern, O_CREAT | O_EXCL);
    if (ownerLock_ < 0 || !lockOwnerFile(ownerLock_, true)) {
        if (ownerLock_ >= 0)
            ::close(ownerLock_);
        ownerLock_ = -1;
        QDir(QFile::decodeName(pattern)).removeRecursively();
        return;
    }
    path_ = QFile::decodeName(pattern) + QLatin1Char('/');
}

TInstanceFolder::~TInstanceFolder()
{
    if (!path_.isEmpty())
        QDir(path_).removeRecursively();
    if (ownerLock_ >= 0)
        ::close(ownerLock_);
}

void TInstanceFolder::RemoveAbandoned(const QString& parent)
{
    const QString base = parentOrTemp(parent);
    if (base.isEmpty())
        return;
    const QStringList names =
        QDir(base).entryList({QLatin1String(folderPrefix) + QLatin1Char('*')},
                             QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QByteArray folder = QFile::encodeName(base + name);
        const int fd = openOwnerFile(folder, 0);
        bool abandoned;
        if (fd >= 0) {
            abandoned = lockOwnerFile(fd, false);
            ::close(fd);
        } else {
            struct stat st {
            };
            abandoned = ::lstat(folder.constData(), &st) == 0 &&
                        std::time(nullptr) - st.st_mtime > unownedGraceSeconds;
        }
        if (abandoned)
            QDir(QFile::decodeName(folder)).removeRecursively();
    }
}

} // namespace platform
