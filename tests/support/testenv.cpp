#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <stdexcept>

namespace testenv {

namespace {

QTemporaryDir& rootDir()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/grandora-test-XXXXXX"));
    return dir;
}

} // namespace

QString Root()
{
    return rootDir().path();
}

QString NewFolder(const QString& hint)
{
    static std::atomic<int> counter{0};
    const QString path = Root() + QStringLiteral("/%1-%2").arg(hint).arg(++counter);
    if (!QDir().mkpath(path))
        throw std::runtime_error("cannot create a test folder");
    return path;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write a test file");
}

} // namespace testenv
