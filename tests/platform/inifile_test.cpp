#include "platform/inifile.h"
#include "support/testenv.h"

#include <QFile>
#include <gtest/gtest.h>

namespace
{

using platform::IniError;
using platform::IniFile;

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

TEST(IniFileTest, MissingFileIsEmptyAndInvalidUtf8Raises)
{
    IniFile empty(iniPath());
    EXPECT_TRUE(empty.ReadSection(QStringLiteral("Settings")).isEmpty());

    const QString path = iniPath();
    testenv::WriteFile(path, "[Settings]\nModel=Art\xFF\xFEwork\n");
    EXPECT_THROW(IniFile{path}, IniError);
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
