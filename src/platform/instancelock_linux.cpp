#include "instancelock.h"

#include "files.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform
{

bool CreateNamedMutex(const QString& name)
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = TempFolder();
    if (folder.isEmpty())
        return false;
    const QByteArray path =
        QFile::encodeName(QDir(folder).filePath(name + QStringLiteral(".lock")));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // A shared lock lets every instance hold it while still marking that one is running.
    ::flock(fd, LOCK_SH | LOCK_NB);
    return true; // the descriptor stays open until the process ends
}

} // namespace platform
