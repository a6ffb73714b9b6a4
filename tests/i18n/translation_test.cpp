#include "i18n/translation.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace
{

class TranslationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UnloadLanguageForTesting();
        LanguageFolder = testenv::NewFolder(QStringLiteral("lang")) + QLatin1Char('/');
    }
    void TearDown() override { UnloadLanguageForTesting(); }

    void load(const QByteArray& content, const QString& name = QStringLiteral("Test.lang.txt"))
    {
        testenv::WriteFile(LanguageFolder + name, content);
        LoadLanguageFile(name);
    }
};

TEST_F(TranslationTest, NothingLoadedReturnsTheKey)
{
    testenv::WriteFile(LanguageFolder + QStringLiteral("German.lang.txt"), "{Start}Starten\n");
    EXPECT_EQ(TranslateText("Start"), QStringLiteral("Start"));
    LoadLanguageFile(QStringLiteral("Missing.lang.txt"));
    EXPECT_TRUE(LanguageFilePath.isEmpty());
    EXPECT_EQ(TranslateText("Start"), QStringLiteral("Start"));
}

TEST_F(TranslationTest, LookupRules)
{
    load("\xEF\xBB\xBF{Add Files...}Dateien hinzuf\xC3\xBCgen...\r\n"
         "{Start}\n"
         "{Back} Zur\xC3\xBC"
         "ck\r"
         " {Next}Weiter\n"
         "{status}lower\n"
         "{Status}Erster\n"
         "{Status}Zweiter\n"
         "{Images}Bilder {mit} Klammer}\n"
         "{Resizing %s...}Verarbeite %s...\n"
         "free text line\n");
    struct Case {
        const char* key;
        QString expected;
    } cases[] = {
        {"Add Files...", QStringLiteral("Dateien hinzufügen...")}, // entry after a byte-order mark
        {"Start", QStringLiteral("Start")},                        // empty translation
        {"Back", QStringLiteral(" Zurück")},  // leading space kept, CR line end
        {"Next", QStringLiteral("Next")},     // line starts with a blank
        {"Status", QStringLiteral("Erster")}, // first of two lines wins
        {"status", QStringLiteral("lower")},  // keys are case-sensitive
        {"STATUS", QStringLiteral("STATUS")},
        {"Images", QStringLiteral("Bilder {mit} Klammer}")}, // later braces kept
        {"Unknown", QStringLiteral("Unknown")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TranslateText(c.key), c.expected) << c.key;
    EXPECT_EQ(FillTemplate(TranslateText("Resizing %s..."), {QStringLiteral("100% a.png")}),
              QStringLiteral("Verarbeite 100% a.png..."));
}

TEST_F(TranslationTest, LanguageNameComesFromTheFileName)
{
    load("{Start}Iniciar\n", QStringLiteral("PortugueseBrazil.lang.txt"));
    EXPECT_EQ(LanguageName, QStringLiteral("PortugueseBrazil"));
    EXPECT_EQ(LanguageFilePath, LanguageFolder + QStringLiteral("PortugueseBrazil.lang.txt"));
    UnloadLanguageForTesting();
    load("{Start}Iniciar\n", QStringLiteral("Other.txt"));
    EXPECT_TRUE(LanguageName.isEmpty());
    EXPECT_EQ(TranslateText("Start"), QStringLiteral("Iniciar"));
}

TEST_F(TranslationTest, UnreadableFileLeavesEnglish)
{
    const QString path = LanguageFolder + QStringLiteral("Locked.lang.txt");
    testenv::WriteFile(path, "{Start}Starten\n");
    QFile::setPermissions(path, QFileDevice::WriteOwner);
    LoadLanguageFile(QStringLiteral("Locked.lang.txt"));
    EXPECT_TRUE(LanguageFilePath.isEmpty());
    EXPECT_EQ(TranslateText("Start"), QStringLiteral("Start"));

    QDir().mkdir(LanguageFolder + QStringLiteral("Folder.lang.txt"));
    LoadLanguageFile(QStringLiteral("Folder.lang.txt"));
    EXPECT_EQ(TranslateText("Start"), QStringLiteral("Start"));
}

TEST(WithoutAccelerator, DropsTheMarkInEveryFormTheLanguageFilesUse)
{
    const std::pair<const char*, const char*> cases[] = {
        {"&Add Files...", "Add Files..."},
        {"Add F&older...", "Add Folder..."},
        {"S&TOP", "STOP"},
        {"Fish && Chips", "Fish & Chips"},
        {"ファイルを追加(&A)...", "ファイルを追加..."},
        {"파일 추가 (&A)", "파일 추가"},
        {"Trailing &", "Trailing &"},
        {"No mark", "No mark"},
    };
    for (const auto& [marked, shown] : cases)
        EXPECT_EQ(WithoutAccelerator(QString::fromUtf8(marked)), QString::fromUtf8(shown))
            << marked;
}

// Qt's own dialogs and standard buttons follow the language file, from the system's Qt
// translations, and go back to English with it.
TEST_F(TranslationTest, QtsOwnTextsFollowTheLanguageFile)
{
    // The text Qt's standard Cancel button takes, without building one.
    const auto cancelText = [] {
        return WithoutAccelerator(QCoreApplication::translate("QPlatformTheme", "Cancel"));
    };
    load("{INFO:Language Code}de\n{Start}Starten\n", QStringLiteral("German.lang.txt"));
    EXPECT_EQ(cancelText(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Suchen in:"));
    UnloadLanguageForTesting();
    EXPECT_EQ(cancelText(), QStringLiteral("Cancel"));
    // A code the system has no translation for leaves Qt in English.
    load("{INFO:Language Code}xx\n", QStringLiteral("Other.lang.txt"));
    EXPECT_EQ(cancelText(), QStringLiteral("Cancel"));
}

} // namespace
