#include "platform/trash.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

// A private home trash (XDG_DATA_HOME) for one test; it does not exist until a test makes it.
class TrashLookupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved_ = qgetenv("XDG_DATA_HOME");
        const QString data = testenv::NewFolder(QStringLiteral("data")) + QStringLiteral("/share");
        qputenv("XDG_DATA_HOME", QFile::encodeName(data));
        trash_ = data + QStringLiteral("/Trash");
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", saved_); }

    // An entry as a file manager leaves it: the file under files/ and its record under info/.
    void addEntry(const QString& name, const QString& path, const QDateTime& deleted,
                  bool withFile = true)
    {
        if (withFile)
            testenv::WriteFile(trash_ + QStringLiteral("/files/") + name, name.toUtf8());
        testenv::WriteFile(
            trash_ + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"),
            "[Trash Info]\nPath=" + QUrl::toPercentEncoding(path, "/") + "\nDeletionDate=" +
                deleted.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() + "\n");
    }

    QByteArray saved_;
    QString trash_;
};

TEST_F(TrashLookupTest, FindsTheNewestEntryOfThatPathDeletedAtOrAfterTheTime)
{
    const QString folder =
        QFileInfo(testenv::NewFolder(QStringLiteral("photos"))).canonicalFilePath();
    const QString original = folder + QStringLiteral("/my 100% f\u00f6to.png");
    const QDateTime batchStart = QDateTime::currentDateTime().addDays(-1);

    addEntry(QStringLiteral("older.png"), original, batchStart.addSecs(-3600));
    addEntry(QStringLiteral("first.png"), original, batchStart.addSecs(5));
    addEntry(QStringLiteral("newest.png"), original, batchStart.addSecs(10));
    // Deleted in the same second: the record written later is the newer one.
    addEntry(QStringLiteral("tied.png"), original, batchStart.addSecs(10));
    const auto setRecordTime = [this](const char* name, const QDateTime& time) {
        QFile record(trash_ + QStringLiteral("/info/") + QLatin1String(name) +
                     QStringLiteral(".trashinfo"));
        ASSERT_TRUE(record.open(QIODevice::ReadWrite));
        ASSERT_TRUE(record.setFileTime(time, QFileDevice::FileModificationTime));
    };
    setRecordTime("tied.png", batchStart.addSecs(10));
    setRecordTime("newest.png", batchStart.addSecs(10).addMSecs(1));
    addEntry(QStringLiteral("other.png"), folder + QStringLiteral("/other.png"),
             batchStart.addSecs(20));
    // A record whose file was removed from the trash by hand since.
    addEntry(QStringLiteral("emptied.png"), original, batchStart.addSecs(30), false);

    EXPECT_EQ(platform::FindTrashedOriginal(original, batchStart),
              trash_ + QStringLiteral("/files/newest.png"));
    // Records keep whole seconds: a deletion in the same second as the time still counts.
    const QDateTime newestDeleted = batchStart.addSecs(10);
    EXPECT_EQ(platform::FindTrashedOriginal(
                  original, newestDeleted.addMSecs(999 - newestDeleted.time().msec())),
              trash_ + QStringLiteral("/files/newest.png"));
    EXPECT_EQ(platform::FindTrashedOriginal(original, batchStart.addSecs(11)), std::nullopt);
    EXPECT_EQ(platform::FindTrashedOriginal(folder + QStringLiteral("/never.png"), batchStart),
              std::nullopt);
}

TEST_F(TrashLookupTest, FindsWhatRecycleFileMoved)
{
    EXPECT_EQ(platform::FindTrashedOriginal(QStringLiteral("/nowhere/a.png"),
                                            QDateTime::currentDateTime().addYears(-1)),
              std::nullopt);

    const QString original = testenv::NewFolder() + QStringLiteral("/a.png");
    const QDateTime batchStart = QDateTime::currentDateTime();
    testenv::WriteFile(original, "original");
    ASSERT_TRUE(platform::RecycleFile(original));

    const std::optional<QString> found = platform::FindTrashedOriginal(original, batchStart);
    ASSERT_TRUE(found);
    EXPECT_EQ(testenv::ReadFile(*found), "original");
}

TEST_F(TrashLookupTest, FindsAFileInTheTrashOfAnotherMount)
{
    struct stat shm {
    }, root{};
    if (::stat("/dev/shm", &shm) != 0 || ::access("/dev/shm", W_OK) != 0 ||
        ::stat(QFile::encodeName(testenv::Root()).constData(), &root) != 0 ||
        shm.st_dev == root.st_dev)
        GTEST_SKIP() << "no writable /dev/shm on a file system apart from the test folder";

    const QString name = QStringLiteral("grandora-lookup-test-%1.png").arg(::getpid());
    const QString original = QStringLiteral("/dev/shm/") + name;
    const QString trash = QStringLiteral("/dev/shm/.Trash-%1").arg(::geteuid());
    const QDateTime batchStart = QDateTime::currentDateTime();
    testenv::WriteFile(original, "elsewhere");
    ASSERT_TRUE(platform::RecycleFile(original));

    EXPECT_EQ(platform::FindTrashedOriginal(original, batchStart),
              trash + QStringLiteral("/files/") + name);
    QFile::remove(trash + QStringLiteral("/files/") + name);
    QFile::remove(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
    for (const char* sub : {"/files", "/info", ""})
        QDir().rmdir(trash + QLatin1String(sub));
}

} // namespace
