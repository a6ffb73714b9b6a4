#include "platform/inifile.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <gtest/gtest.h>
#include <utility>

namespace
{

using platform::IniError;
using platform::IniFile;
using platform::IniUnreadableError;

QString iniPath()
{
    return testenv::NewFolder(QStringLiteral("ini")) + QStringLiteral("/settings.ini");
}

TEST(IniFileTest, RoundTripKeepsValuesExactly)
{
    const QString path = iniPath();
    {
        IniFile ini(path);
        ini.WriteString(QStringLiteral("Settings"), QStringLiteral("Destination"),
                        QStringLiteral("/tmp/a=b c"));
        ini.WriteString(QStringLiteral("Settings"), QStringLiteral("Model"),
                        QStringLiteral("Fotoğraf"));
        ini.WriteString(QStringLiteral("Settings"), QStringLiteral("Blank"),
                        QStringLiteral(" padded "));
        ini.UpdateFile();
    }
    IniFile again(path);
    EXPECT_EQ(again.ReadString(QStringLiteral("Settings"), QStringLiteral("Destination"), {}),
              QStringLiteral("/tmp/a=b c"));
    EXPECT_EQ(again.ReadString(QStringLiteral("settings"), QStringLiteral("model"), {}),
              QStringLiteral("Fotoğraf"));
    EXPECT_EQ(again.ReadString(QStringLiteral("Settings"), QStringLiteral("Blank"), {}),
              QStringLiteral(" padded "));
    EXPECT_EQ(again.ReadString(QStringLiteral("Settings"), QStringLiteral("Missing"),
                               QStringLiteral("d")),
              QStringLiteral("d"));
    EXPECT_EQ(again.ReadSection(QStringLiteral("Settings")).size(), 3);
}

TEST(IniFileTest, MissingFileIsEmptyAndBadFilesRaiseByWhatIsKnownOfThem)
{
    IniFile empty(iniPath());
    EXPECT_TRUE(empty.ReadSection(QStringLiteral("Settings")).isEmpty());

    // Read and found to be no INI file.
    const QString invalid = iniPath();
    testenv::WriteFile(invalid, "[Settings]\nModel=Art\xFF\xFEwork\n");
    try {
        const IniFile store(invalid);
        ADD_FAILURE() << "invalid UTF-8 was accepted";
    } catch (const IniUnreadableError&) {
        ADD_FAILURE() << "a file that was read is reported as unreadable";
    } catch (const IniError&) {
    }

    // Never read: what it holds is unknown.
    const QString folder = iniPath();
    QDir().mkpath(folder);
    const QString tooLarge = iniPath();
    testenv::WriteFile(tooLarge, "[Settings]\nModel=" + QByteArray(IniFile::MaxFileSize, 'x'));
    for (const auto& [path, code] : {std::pair{folder, 0}, std::pair{tooLarge, EFBIG}}) {
        try {
            const IniFile store(path);
            ADD_FAILURE() << path.toStdString() << " was accepted";
        } catch (const IniUnreadableError& error) {
            EXPECT_EQ(error.code(), code);
            EXPECT_EQ(error.fileName(), path);
        }
    }
}

TEST(IniFileTest, NamesIgnoreCaseTheFirstKeyWinsAndOrderIsKept)
{
    const QString path = iniPath();
    testenv::WriteFile(path, "; comment\r\nloose=1\r\n[Settings]\r\nModel=Photo\r"
                             "Action = A \nmodel=Artwork\n[Other]\nx=1\n"
                             "  [ SETTINGS ]  \nMODEL=Third\nDestination=/d\n");
    IniFile ini(path);
    EXPECT_EQ(ini.ReadSection(QStringLiteral("settings")),
              (QStringList{QStringLiteral("Model"), QStringLiteral("Action"),
                           QStringLiteral("Destination")}));
    EXPECT_EQ(ini.ReadString(QStringLiteral("SETTINGS"), QStringLiteral("mODEL"), {}),
              QStringLiteral("Photo"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("Settings"), QStringLiteral("action"), {}),
              QStringLiteral(" A "));
    EXPECT_EQ(
        ini.ReadString(QStringLiteral("Settings"), QStringLiteral("loose"), QStringLiteral("d")),
        QStringLiteral("d"));

    // Deleting a key must leave every later key findable.
    ini.DeleteKey(QStringLiteral("settings"), QStringLiteral("MODEL"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("Settings"), QStringLiteral("Destination"), {}),
              QStringLiteral("/d"));
    ini.WriteString(QStringLiteral("Settings"), QStringLiteral("ACTION"), QStringLiteral("B"));
    ini.WriteString(QStringLiteral("Settings"), QStringLiteral("Model"), QStringLiteral("New"));
    ini.WriteString(QStringLiteral("New"), QStringLiteral("k"), QStringLiteral("v"));
    ini.UpdateFile();
    EXPECT_EQ(testenv::ReadFile(path), "[Settings]\nAction=B\nDestination=/d\nModel=New\n\n"
                                       "[Other]\nx=1\n\n[New]\nk=v\n\n");
}

TEST(IniFileTest, LineBreaksCannotCreateAnotherKey)
{
    const QString path = iniPath();
    IniFile ini(path);
    ini.WriteString(QStringLiteral("Settings"), QStringLiteral("Destination"),
                    QStringLiteral("/old"));
    for (const QString& value : {QStringLiteral("/x\nLanguageFile=../evil"),
                                 QStringLiteral("/x\rAction=Y"), QStringLiteral("/x\r\n")}) {
        EXPECT_THROW(
            ini.WriteString(QStringLiteral("Settings"), QStringLiteral("Destination"), value),
            IniError);
    }
    ini.UpdateFile();
    IniFile again(path);
    EXPECT_EQ(again.ReadSection(QStringLiteral("Settings")),
              QStringList{QStringLiteral("Destination")});
    EXPECT_EQ(again.ReadString(QStringLiteral("Settings"), QStringLiteral("Destination"), {}),
              QStringLiteral("/old"));
}

TEST(IniFileTest, ReadOnlyFileRaisesAndKeepsMemoryCopy)
{
    const QString path = iniPath();
    testenv::WriteFile(path, "[Settings]\nAction=CreateCopies\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    IniFile ini(path);
    ini.WriteString(QStringLiteral("Settings"), QStringLiteral("Action"),
                    QStringLiteral("ResizeOriginal"));
    EXPECT_THROW(ini.UpdateFile(), IniError);
    EXPECT_EQ(ini.ReadString(QStringLiteral("Settings"), QStringLiteral("Action"), {}),
              QStringLiteral("ResizeOriginal"));
    EXPECT_EQ(IniFile(path).ReadString(QStringLiteral("Settings"), QStringLiteral("Action"), {}),
              QStringLiteral("CreateCopies"));
}

} // namespace
