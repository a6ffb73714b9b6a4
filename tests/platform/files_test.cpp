#include "platform/files.h"
#include "platform/tickcount.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
