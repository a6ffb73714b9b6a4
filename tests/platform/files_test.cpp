#include "platform/files.h"
#include "platform/tickcount.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace
{

TEST(FilesTest, FolderWritability)
{
    const QString writable = testenv::NewFolder();
    EXPECT_TRUE(platform::IsFolderWritable(writable));
    EXPECT_FALSE(QFile::exists(writable + QStringLiteral("/chk.tmp"))) << "the probe must not stay";

    const QString leftover = testenv::NewFolder();
    testenv::WriteFile(leftover + QStringLiteral("/chk.tmp"), "");
    EXPECT_FALSE(platform::IsFolderWritable(leftover + QLatin1Char('/')));

    const QString readOnly = testenv::NewFolder();
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(platform::IsFolderWritable(readOnly));
    QFile::setPermissions(readOnly,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    EXPECT_FALSE(platform::IsFolderWritable(readOnly + QStringLiteral("/missing")));
}

TEST(FilesTest, TempFolderIsPrivate)
{
    const QString temp = platform::TempFolder();
    ASSERT_FALSE(temp.isEmpty());
    EXPECT_TRUE(temp.endsWith(QLatin1Char('/')));
    EXPECT_TRUE(temp.startsWith(qEnvironmentVariable("XDG_CACHE_HOME")));
    struct stat st {
    };
    ASSERT_EQ(::lstat(QFile::encodeName(temp).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Widened permissions make it unusable rather than silently shared.
    ::chmod(QFile::encodeName(temp).constData(), 0755);
    EXPECT_TRUE(platform::TempFolder().isEmpty());
    ::chmod(QFile::encodeName(temp).constData(), 0700);
    EXPECT_EQ(platform::TempFolder(), temp);
}

TEST(FilesTest, ReadRegularFileReadsOnlyWhatIsSafeToRead)
{
    using platform::TReadStatus;
    struct Case {
        const char* what;
        std::function<void(const QByteArray& path)> make;
        qint64 limit;
        TReadStatus status;
        int error;
    };
    const Case cases[] = {
        {"missing", [](const QByteArray&) {}, 100, TReadStatus::Missing, ENOENT},
        {"folder", [](const QByteArray& p) { ::mkdir(p.constData(), 0700); }, 100,
         TReadStatus::NotRegularFile, 0},
        {"link to an endless device",
         [](const QByteArray& p) { ::symlink("/dev/zero", p.constData()); }, 100,
         TReadStatus::NotRegularFile, 0},
        // Opening a FIFO without a writer would block.
        {"FIFO", [](const QByteArray& p) { ::mkfifo(p.constData(), 0600); }, 100,
         TReadStatus::NotRegularFile, 0},
        {"no permission",
         [](const QByteArray& p) {
             testenv::WriteFile(QFile::decodeName(p), "[a]\n");
             ::chmod(p.constData(), 0);
         },
         100, TReadStatus::Failed, EACCES},
        {"one byte over the limit",
         [](const QByteArray& p) {
             testenv::WriteFile(QFile::decodeName(p), QByteArray(101, 'x'));
         },
         100, TReadStatus::Failed, EFBIG},
        {"exactly the limit",
         [](const QByteArray& p) {
             testenv::WriteFile(QFile::decodeName(p), QByteArray(100, 'x'));
         },
         100, TReadStatus::Read, 0},
    };
    for (const Case& c : cases) {
        const QString path = testenv::NewFolder() + QStringLiteral("/file");
        c.make(QFile::encodeName(path));
        const platform::TFileContent content = platform::ReadRegularFile(path, c.limit);
        EXPECT_EQ(content.status, c.status) << c.what;
        EXPECT_EQ(content.error, c.error) << c.what;
        EXPECT_EQ(content.bytes.size(), c.status == TReadStatus::Read ? c.limit : 0) << c.what;
    }

    // A file that reports no size is still read to its end, and still stops at the limit.
    const QString sizeless = QStringLiteral("/proc/self/cmdline");
    const QByteArray whole = testenv::ReadFile(sizeless);
    ASSERT_FALSE(whole.isEmpty());
    EXPECT_EQ(platform::ReadRegularFile(sizeless, 1 << 20).bytes, whole);
    EXPECT_EQ(platform::ReadRegularFile(sizeless, whole.size() - 1).error, EFBIG);
}

// Each case lays out a prefix with the executable in bin/ and the entries listed (folders end
// with '/'), then names the folder where the program must look for its data.
TEST(FilesTest, ProgramDataFolderFollowsTheInstalledLayout)
{
    struct Case {
        const char* name;
        std::vector<const char*> entries;
        const char* expected;
    };
    const Case cases[] = {
        {"build tree", {"bin/Languages/", "bin/realesrgan/", "bin/license.txt"}, "bin/"},
        {"folder install without languages", {"bin/license.txt"}, "bin/"},
        {"only the upscaler beside", {"bin/realesrgan/"}, "bin/"},
        {"system layout",
         {"bin/", "lib/grandora/Languages/", "lib/grandora/license.txt"},
         "lib/grandora/"},
        {"system layout, data not yet installed", {"bin/", "lib/grandora/"}, "lib/grandora/"},
        {"beside wins over the system layout",
         {"bin/license.txt", "lib/grandora/license.txt"},
         "bin/"},
        {"nothing anywhere", {"bin/", "lib/other/"}, "bin/"},
        {"a file in place of the data folder", {"bin/", "lib/grandora"}, "bin/"},
    };
    for (const Case& c : cases) {
        const QString prefix = testenv::NewFolder(QStringLiteral("prefix")) + QLatin1Char('/');
        for (const char* name : c.entries) {
            const QString entry = QLatin1String(name);
            if (entry.endsWith(QLatin1Char('/')))
                QDir().mkpath(prefix + entry);
            else
                testenv::WriteFile(prefix + entry, "");
        }
        const QString expected = prefix + QLatin1String(c.expected);
        EXPECT_EQ(platform::ProgramDataFolderFor(prefix + QStringLiteral("bin/")), expected)
            << c.name;
        EXPECT_EQ(platform::ProgramDataFolderFor(prefix + QStringLiteral("bin")), expected)
            << c.name << ", folder named without its slash";
    }

    // Tests that place a program folder of their own are followed.
    const QString program = testenv::NewFolder(QStringLiteral("program")) + QLatin1Char('/');
    platform::SetExecutableFolderForTesting(program);
    EXPECT_EQ(platform::ProgramDataFolder(), program);
    platform::SetExecutableFolderForTesting({});
}

TEST(TickCountTest, MulDivRoundsAndGuards)
{
    EXPECT_EQ(platform::MulDiv(105, 144, 96), 158); // 157.5 rounds away from zero
    EXPECT_EQ(platform::MulDiv(-105, 144, 96), -158);
    EXPECT_EQ(platform::MulDiv(105, 96, 96), 105);
    EXPECT_EQ(platform::MulDiv(1, 1, 0), -1);
    EXPECT_EQ(platform::MulDiv(0x7FFFFFFF, 4, 2), -1);
    EXPECT_EQ(platform::MulDiv(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), 0x7FFFFFFF);
}

} // namespace
