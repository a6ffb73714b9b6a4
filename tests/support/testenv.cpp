#include "support/testenv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <sys/stat.h>

namespace testenv
{

namespace
{

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

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray EntryState(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {
    };
    if (::lstat(name.constData(), &info) != 0)
        return "missing";
    QByteArray state = QByteArray::number(info.st_mode, 8) + ' ' + QByteArray::number(info.st_ino) +
                       ' ' + QByteArray::number(info.st_size) + ' ' +
                       QByteArray::number(info.st_mtim.tv_sec) + '.' +
                       QByteArray::number(info.st_mtim.tv_nsec);
    if (S_ISLNK(info.st_mode))
        state += " -> " + QFile::encodeName(QFile::symLinkTarget(path));
    if (S_ISREG(info.st_mode))
        state += ' ' + QCryptographicHash::hash(ReadFile(path), QCryptographicHash::Sha256).toHex();
    return state;
}

QStringList FolderEntries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString WriteImage(const QString& path, int width, int height)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool ownFormat = suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg") ||
                           suffix == QLatin1String("webp");
    EXPECT_TRUE(image.save(path, ownFormat ? suffix.toLatin1().constData() : "png"));
    return path;
}

void LayOutUpscalerFolder(const QString& folder, const QString& program)
{
    QDir().mkpath(folder + QStringLiteral("models"));
    QFile::link(program, folder + QStringLiteral("realesrgan-ncnn-vulkan"));
    for (const char* model : {"realesrgan-x4plus", "realesrgan-x4plus-anime", "realesrgan-x4fast"})
        for (const char* suffix : {".param", ".bin"})
            WriteFile(folder + QStringLiteral("models/") + QLatin1String(model) +
                          QLatin1String(suffix),
                      "model");
}

bool ProcessEnded(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    return !status.open(QIODevice::ReadOnly) || status.readAll().contains("State:\tZ");
}

QSize ImageSize(const QString& path)
{
    return QImageReader(path).size();
}

} // namespace testenv
