#include "app/settingsstore.h"
#include "platform/dialogs.h"
#include "platform/oserror.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <functional>
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

// Files beside the program that cannot serve as settings. One that was read and found to be no
// settings file is replaced; one that could not be read is left exactly as it is, told about once,
// and the program runs on defaults in memory.
TEST(SettingsStoreTest, BadFilesNeverStopTheStoreAndUnreadOnesStayUntouched)
{
    struct Case {
        const char* what;
        std::function<void(const QString& path)> make;
        QString reason; // empty: read and found invalid
    };
    const Case cases[] = {
        {"a folder", [](const QString& p) { QDir().mkpath(p); },
         QStringLiteral("Not a regular file")},
        {"a link to an endless device",
         [](const QString& p) { QFile::link(QStringLiteral("/dev/zero"), p); },
         QStringLiteral("Not a regular file")},
        {"a file the user may not read",
         [](const QString& p) {
             testenv::WriteFile(p, "[Settings]\nModel=Photo\n");
             QFile::setPermissions(p, {});
         },
         platform::SystemErrorText(EACCES)},
        {"a 50 MB line",
         [](const QString& p) {
             testenv::WriteFile(p, "[Settings]\nModel=" + QByteArray(50 << 20, 'x') + '\n');
         },
         platform::SystemErrorText(EFBIG)},
        {"a binary file",
         [](const QString& p) {
             testenv::WriteFile(p, QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xd8", 18));
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::DialogScript script;
        platform::EnableDialogScriptForTesting(&script);
        const QString folder = testenv::NewFolder(QStringLiteral("settings")) + QLatin1Char('/');
        const QString path = folder + QStringLiteral("settings.ini");
        c.make(path);
        const QByteArray before = testenv::EntryState(path);

        TSettingsStore store;
        store.Open(folder);
        store.ReportUnreadableFile();
        store.ReportUnreadableFile();
        EXPECT_EQ(store.Read(QStringLiteral("Model")), QString());
        store.Write(QStringLiteral("Model"), QStringLiteral("Photo"));
        store.Write(QStringLiteral("Action"), QStringLiteral("ResizeOriginal"));
        EXPECT_EQ(store.Read(QStringLiteral("Model")), QStringLiteral("Photo"));
        platform::EnableDialogScriptForTesting(nullptr);

        if (c.reason.isEmpty()) {
            EXPECT_TRUE(script.shown.empty());
            EXPECT_EQ(testenv::ReadFile(path),
                      "[Settings]\nModel=Photo\nAction=ResizeOriginal\n\n");
        } else {
            EXPECT_EQ(testenv::EntryState(path), before);
            ASSERT_EQ(script.shown.size(), 1u);
            EXPECT_TRUE(script.shown[0].text.contains(path)) << script.shown[0].text.toStdString();
            EXPECT_TRUE(script.shown[0].text.contains(c.reason))
                << script.shown[0].text.toStdString();
            EXPECT_EQ(testenv::FolderEntries(folder), QStringList{QStringLiteral("settings.ini")});
        }
    }
}

TEST(SettingsStoreTest, ManyKeysAllReadBackWithTheFirstOfEachNameWinning)
{
    constexpr int keys = 100000;
    QByteArray text = "[Settings]\n";
    for (int i = 0; i < keys; ++i)
        text += "Key" + QByteArray::number(i) + '=' + QByteArray::number(i * 7) + '\n';
    text += "[Other]\nx=1\n[SETTINGS]\nKEY5=later\nModel=Photo\n";
    const QString folder = testenv::NewFolder(QStringLiteral("settings")) + QLatin1Char('/');
    testenv::WriteFile(folder + QStringLiteral("settings.ini"), text);

    TSettingsStore store;
    store.Open(folder);
    for (int i = 0; i < keys; ++i)
        ASSERT_EQ(store.Read(QStringLiteral("key%1").arg(i)), QString::number(i * 7)) << i;
    EXPECT_EQ(store.Read(QStringLiteral("Model")), QStringLiteral("Photo"));
    EXPECT_EQ(testenv::ReadFile(folder + QStringLiteral("settings.ini")), text);
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
