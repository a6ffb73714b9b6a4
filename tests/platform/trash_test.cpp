#include "platform/trash.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QString infoPathLine(const QString& infoFile)
{
    for (const QByteArray& line : testenv::ReadFile(infoFile).split('\n'))
        if (line.startsWith("Path="))
            return QString::fromLatin1(line.mid(5));
    return {};
}

// Points XDG_DATA_HOME at a fresh folder (which need not exist yet) for one test.
class TrashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved_ = qgetenv("XDG_DATA_HOME");
        data_ = testenv::NewFolder(QStringLiteral("data")) + QStringLiteral("/share");
        qputenv("XDG_DATA_HOME", QFile::encodeName(data_));
        trash_ = data_ + QStringLiteral("/Trash");
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", saved_); }

    QByteArray saved_;
    QString data_;
    QString trash_;
};

TEST_F(TrashTest, MovesFileIntoHomeTrashWithEscapedPathEvenWhenDataFolderIsMissing)
{
    ASSERT_FALSE(QFileInfo::exists(data_));
    const QString folder = testenv::NewFolder(QStringLiteral("orig"));
    const QString path = folder + QStringLiteral("/my 100% f\u00f6to #1.png");
    testenv::WriteFile(path, "original");

    ASSERT_TRUE(platform::RecycleFile(path));

    EXPECT_FALSE(QFileInfo::exists(path));
    const QString name = QStringLiteral("my 100% f\u00f6to #1.png");
    EXPECT_EQ(testenv::ReadFile(trash_ + QStringLiteral("/files/") + name), "original");
    const QString info = trash_ + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo");
    const QByteArray escapedFolder = QFile::encodeName(QFileInfo(folder).canonicalFilePath());
    EXPECT_EQ(infoPathLine(info), QString::fromLatin1(escapedFolder) +
                                      QStringLiteral("/my%20100%25%20f%C3%B6to%20%231.png"));
    EXPECT_TRUE(testenv::ReadFile(info).startsWith("[Trash Info]\n"));
    EXPECT_TRUE(testenv::ReadFile(info).contains("\nDeletionDate="));
}

TEST_F(TrashTest, SecondFileOfTheSameNameGetsItsOwnEntry)
{
    const QString a = testenv::NewFolder() + QStringLiteral("/a.png");
    const QString b = testenv::NewFolder() + QStringLiteral("/a.png");
    testenv::WriteFile(a, "first");
    testenv::WriteFile(b, "second");

    ASSERT_TRUE(platform::RecycleFile(a));
    ASSERT_TRUE(platform::RecycleFile(b));

    EXPECT_EQ(testenv::ReadFile(trash_ + QStringLiteral("/files/a.png")), "first");
    EXPECT_EQ(testenv::ReadFile(trash_ + QStringLiteral("/files/a.2.png")), "second");
    EXPECT_TRUE(QFileInfo::exists(trash_ + QStringLiteral("/info/a.2.png.trashinfo")));
}

TEST_F(TrashTest, FailureLeavesTheFileInPlaceAndNoRecordBehind)
{
    const QString missing = testenv::NewFolder() + QStringLiteral("/missing.png");
    errno = 0;
    EXPECT_FALSE(platform::RecycleFile(missing));
    EXPECT_EQ(errno, ENOENT);

    // A file in a read-only folder cannot be renamed away.
    const QString folder = testenv::NewFolder(QStringLiteral("readonly"));
    const QString kept = folder + QStringLiteral("/kept.png");
    testenv::WriteFile(kept, "kept");
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    errno = 0;
    EXPECT_FALSE(platform::RecycleFile(kept));
    EXPECT_EQ(errno, EACCES);
    ::chmod(QFile::encodeName(folder).constData(), 0755);

    EXPECT_EQ(testenv::ReadFile(kept), "kept");
    EXPECT_TRUE(QDir(trash_ + QStringLiteral("/info")).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(QDir(trash_ + QStringLiteral("/files")).entryList(QDir::Files).isEmpty());
}

TEST_F(TrashTest, FileOnAnotherFileSystemGoesToThatMountsTrash)
{
    struct stat shm {
    }, root{};
    const QString shmFolder = QStringLiteral("/dev/shm");
    if (::stat("/dev/shm", &shm) != 0 || ::access("/dev/shm", W_OK) != 0 ||
        ::stat(QFile::encodeName(testenv::Root()).constData(), &root) != 0 ||
        shm.st_dev == root.st_dev)
        GTEST_SKIP() << "no writable /dev/shm on a file system apart from the test folder";

    const QString name = QStringLiteral("grandora-trash-test-%1.png").arg(::getpid());
    const QString path = shmFolder + QLatin1Char('/') + name;
    testenv::WriteFile(path, "elsewhere");
    const QString trash = shmFolder + QStringLiteral("/.Trash-%1").arg(::geteuid());

    ASSERT_TRUE(platform::RecycleFile(path));

    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_FALSE(QFileInfo::exists(trash_ + QStringLiteral("/files/") + name));
    EXPECT_EQ(testenv::ReadFile(trash + QStringLiteral("/files/") + name), "elsewhere");
    const QString info = trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo");
    EXPECT_EQ(infoPathLine(info), name); // relative to the top of its mount
    QFile::remove(trash + QStringLiteral("/files/") + name);
    QFile::remove(info);
    // The trash folders go again when nothing else is in them.
    for (const char* sub : {"/files", "/info", ""})
        QDir().rmdir(trash + QLatin1String(sub));
}

} // namespace
