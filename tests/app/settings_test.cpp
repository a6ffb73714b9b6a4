#include "app/settingsstore.h"
#include "platform/dialogs.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace
{

TEST(SettingsFolderTest, BesideTheProgramWhenWritableElseInTheUsersConfig)
{
    const QString program = testenv::NewFolder(QStringLiteral("program"));
    EXPECT_EQ(ChooseSettingsFolder(program, QStringLiteral("Zelmora"), QStringLiteral("Grandora")),
              program + QLatin1Char('/'));

    const QString expected =
        qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Zelmora/Grandora/");
    testenv::WriteFile(program + QStringLiteral("/chk.tmp"), "");
    EXPECT_EQ(ChooseSettingsFolder(program, QStringLiteral("Zelmora"), QStringLiteral("Grandora")),
              expected);
    EXPECT_TRUE(QDir(expected).exists());

    const QString readOnly = testenv::NewFolder(QStringLiteral("program"));
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(ChooseSettingsFolder(readOnly, QStringLiteral("Zelmora"), QStringLiteral("Grandora")),
              expected);
}

TEST(SettingsStoreTest, InvalidFileIsReplacedByDefaults)
{
    SettingsFolder = testenv::NewFolder(QStringLiteral("settings")) + QLatin1Char('/');
    testenv::WriteFile(SettingsFolder + QStringLiteral("settings.ini"),
                       "[Settings]\nAction=Resize\xC3(Original\n");
    OpenSettingsIni();
    EXPECT_FALSE(QFile::exists(SettingsFolder + QStringLiteral("settings.ini")));
    EXPECT_EQ(ReadSetting(QStringLiteral("Action")), QString());

    WriteSetting(QStringLiteral("Action"), QStringLiteral("ResizeOriginal"));
    OpenSettingsIni();
    EXPECT_EQ(ReadSetting(QStringLiteral("Action")), QStringLiteral("ResizeOriginal"));
}

TEST(SettingsStoreTest, WriteFailureIsShownOnceAndValueKeptInMemory)
{
    platform::DialogScript script;
    platform::EnableDialogScriptForTesting(&script);
    SettingsFolder = testenv::NewFolder(QStringLiteral("settings")) + QLatin1Char('/');
    OpenSettingsIni();
    WriteSetting(QStringLiteral("Model"), QStringLiteral("Photo"));
    QFile::setPermissions(SettingsFolder + QStringLiteral("settings.ini"), QFileDevice::ReadOwner);

    WriteSetting(QStringLiteral("Destination"), QStringLiteral("/a"));
    WriteSetting(QStringLiteral("Destination"), QStringLiteral("/ab"));
    WriteSetting(QStringLiteral("Destination"), QStringLiteral("/x\nModel=Artwork"));
    platform::EnableDialogScriptForTesting(nullptr);

    ASSERT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(script.shown[0].flags & platform::MB_ICONERROR, unsigned(platform::MB_ICONERROR));
    EXPECT_TRUE(script.shown[0].text.contains(QStringLiteral("settings.ini")));
    EXPECT_EQ(ReadSetting(QStringLiteral("Destination")), QStringLiteral("/ab"));
    EXPECT_EQ(ReadSetting(QStringLiteral("Model")), QStringLiteral("Photo"));
}

} // namespace
