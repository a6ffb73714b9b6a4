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
    const QString folder = testenv::NewFolder(QStringLiteral("settings")) + QLatin1Char('/');
    testenv::WriteFile(folder + QStringLiteral("settings.ini"),
                       "[Settings]\nAction=Resize\xC3(Original\n");
    TSettingsStore store;
    store.Open(folder);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("settings.ini")));
    EXPECT_EQ(store.Read(QStringLiteral("Action")), QString());

    store.Write(QStringLiteral("Action"), QStringLiteral("ResizeOriginal"));
    TSettingsStore again;
    again.Open(folder);
    EXPECT_EQ(again.Read(QStringLiteral("Action")), QStringLiteral("ResizeOriginal"));
}

TEST(SettingsStoreTest, WriteFailureIsShownOnceAndValueKeptInMemory)
{
    platform::DialogScript script;
    platform::EnableDialogScriptForTesting(&script);
    const QString folder = testenv::NewFolder(QStringLiteral("settings")) + QLatin1Char('/');
    TSettingsStore store;
    store.Open(folder);
    store.Write(QStringLiteral("Model"), QStringLiteral("Photo"));
    QFile::setPermissions(folder + QStringLiteral("settings.ini"), QFileDevice::ReadOwner);

    store.Write(QStringLiteral("Destination"), QStringLiteral("/a"));
    store.Write(QStringLiteral("Destination"), QStringLiteral("/ab"));
    store.Write(QStringLiteral("Destination"), QStringLiteral("/x\nModel=Artwork"));
    platform::EnableDialogScriptForTesting(nullptr);

    ASSERT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(script.shown[0].flags & platform::MB_ICONERROR, unsigned(platform::MB_ICONERROR));
    EXPECT_TRUE(script.shown[0].text.contains(QStringLiteral("settings.ini")));
    EXPECT_EQ(store.Read(QStringLiteral("Destination")), QStringLiteral("/ab"));
    EXPECT_EQ(store.Read(QStringLiteral("Model")), QStringLiteral("Photo"));
}

} // namespace
