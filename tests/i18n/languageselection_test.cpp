#include "i18n/languageselection.h"
#include "i18n/translation.h"
#include "platform/userlanguage.h"
#include "support/testenv.h"

#include <QDir>
#include <gtest/gtest.h>

namespace
{

struct CodesCase {
    const char* name;
    QByteArray csv; // empty: no LanguageCodes.csv
    QStringList files;
    QString setting;
    std::uint16_t userLanguage;
    QString expectedName; // LanguageName after loading; empty: English
};

class LoadLanguageTest : public ::testing::TestWithParam<CodesCase>
{
protected:
    void SetUp() override { UnloadLanguageForTesting(); }
    void TearDown() override { UnloadLanguageForTesting(); }
};

TEST_P(LoadLanguageTest, PicksTheExpectedFile)
{
    const CodesCase& c = GetParam();
    const QString exe = testenv::NewFolder(QStringLiteral("exe")) + QLatin1Char('/');
    QDir().mkpath(exe + QStringLiteral("Languages"));
    for (const QString& file : c.files)
        testenv::WriteFile(exe + QStringLiteral("Languages/") + file,
                           "{Start}" + file.toUtf8() + "\n");
    if (!c.csv.isEmpty())
        testenv::WriteFile(exe + QStringLiteral("Languages/LanguageCodes.csv"), c.csv);

    LoadLanguage(c.setting, exe, c.userLanguage);

    EXPECT_EQ(LanguageFolder, exe + QStringLiteral("Languages"));
    EXPECT_EQ(LanguageName, c.expectedName);
    EXPECT_EQ(TranslateText("Start"), c.expectedName.isEmpty()
                                          ? QStringLiteral("Start")
                                          : c.expectedName + QStringLiteral(".lang.txt"));
}

QByteArray utf16le(const QString& text)
{
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return bytes;
}

const QStringList germanAndFrench{QStringLiteral("German.lang.txt"),
                                  QStringLiteral("French.lang.txt")};

INSTANTIATE_TEST_SUITE_P(
    Codes, LoadLanguageTest,
    ::testing::Values(
        CodesCase{"spacesAndCaseAroundTheColumns",
                  "1031 , german.LANG.TXT\r\n",
                  germanAndFrench,
                  {},
                  1031,
                  QStringLiteral("German")},
        CodesCase{"firstLineForAnIdDecidesEvenWhenItsFileIsMissing",
                  "1031,Missing.lang.txt\n1031,German.lang.txt\n",
                  germanAndFrench,
                  {},
                  1031,
                  {}},
        CodesCase{
            "regionWithoutItsOwnLine", "1031,German.lang.txt\n", germanAndFrench, {}, 2055, {}},
        CodesCase{"settingOfSpacesIsBlank", "1036,French.lang.txt\n", germanAndFrench,
                  QStringLiteral("  \t"), 1036, QStringLiteral("French")},
        CodesCase{"storedSettingWinsOverTheTable", "1036,French.lang.txt\n", germanAndFrench,
                  QStringLiteral("German.lang.txt"), 1036, QStringLiteral("German")},
        CodesCase{"storedEnglishLoadsNothing",
                  "1036,French.lang.txt\n",
                  germanAndFrench,
                  QStringLiteral("English.lang.txt"),
                  1036,
                  {}},
        CodesCase{"headerAndLinesWithoutCommaAreSkipped",
                  "LANGID,File\nrubbish\n\t1036\t,\tFrench.lang.txt\x01\n",
                  germanAndFrench,
                  {},
                  1036,
                  QStringLiteral("French")},
        CodesCase{"furtherCommasBelongToTheFileName",
                  "1031,Ger,man.lang.txt\n",
                  {QStringLiteral("Ger,man.lang.txt")},
                  {},
                  1031,
                  QStringLiteral("Ger,man")},
        CodesCase{"idIsMatchedAsWritten", "01031,German.lang.txt\n", germanAndFrench, {}, 1031, {}},
        CodesCase{"utf8ByteOrderMark",
                  "\xEF\xBB\xBF"
                  "1031,German.lang.txt",
                  germanAndFrench,
                  {},
                  1031,
                  QStringLiteral("German")},
        CodesCase{"utf16ByteOrderMark",
                  utf16le(QStringLiteral("1049,Русский.lang.txt\r\n")),
                  {QStringLiteral("Русский.lang.txt")},
                  {},
                  1049,
                  QStringLiteral("Русский")},
        CodesCase{"onlyAsciiLettersAreFolded",
                  "1049,русский.lang.txt\n",
                  {QStringLiteral("Русский.lang.txt")},
                  {},
                  1049,
                  {}},
        CodesCase{"noTableMeansEnglish", {}, germanAndFrench, {}, 1031, {}},
        // The setting lives in a file the user can edit: a path in it must not load a file
        // from elsewhere.
        CodesCase{"settingWithAPathLoadsNothing",
                  {},
                  {QStringLiteral("sub/German.lang.txt")},
                  QStringLiteral("sub/German.lang.txt"),
                  1031,
                  {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadLanguage, WithoutAFolderListsNothingAndStaysEnglish)
{
    UnloadLanguageForTesting();
    const QString exe = testenv::NewFolder(QStringLiteral("exe")) + QLatin1Char('/');
    LanguageFileList = {QStringLiteral("stale")};
    LoadLanguage(QStringLiteral("German.lang.txt"), exe, 1031);
    EXPECT_EQ(LanguageFolder, exe + QStringLiteral("Languages"));
    EXPECT_TRUE(LanguageFileList.isEmpty());
    EXPECT_TRUE(LanguageFilePath.isEmpty());
}

TEST(FindLanguageFiles, ListsFilesEndingInLangTxtAndSkipsFolders)
{
    const QString folder = testenv::NewFolder(QStringLiteral("langs"));
    for (const char* file : {"German.lang.txt", "Xlang.txt", ".Hidden.lang.txt", "Dutch.LANG.TXT",
                             "notes.txt", "German.lang.txt.bak"})
        testenv::WriteFile(folder + QLatin1Char('/') + QLatin1String(file), "x");
    QDir().mkpath(folder + QStringLiteral("/Folder.lang.txt"));

    LanguageFileList.clear();
    FindLanguageFiles(folder);
    QStringList found = LanguageFileList;
    found.sort();
    EXPECT_EQ(found,
              (QStringList{QStringLiteral(".Hidden.lang.txt"), QStringLiteral("Dutch.LANG.TXT"),
                           QStringLiteral("German.lang.txt"), QStringLiteral("Xlang.txt")}));
}

TEST(UserLanguage, LocaleNamesMapToLangIds)
{
    const std::pair<const char*, std::uint16_t> cases[] = {
        {"de_DE.UTF-8", 1031}, {"de_CH.UTF-8", 2055},
        {"de_AT", 3079},       {"pt_BR.UTF-8", 1046},
        {"pt_PT", 2070},       {"pt", 1046},
        {"zh_CN.UTF-8", 2052}, {"zh_TW.UTF-8", 1028},
        {"zh-Hant", 1028},     {"zh_Hant_HK", 3076},
        {"fr-CA", 3084},       {"es_AR.UTF-8", 11274},
        {"nb_NO.UTF-8", 1044}, {"ca_ES.UTF-8@valencia", 1027},
        {"sr_RS@latin", 1033}, {"de_BE.UTF-8", 1031},
        {"en_GB", 2057},       {"C", 1033},
        {"POSIX", 1033},       {"", 1033},
        {"eo", 1033},
    };
    for (const auto& [name, id] : cases)
        EXPECT_EQ(platform::LangIdFromLocaleName(QLatin1String(name)), id) << name;
}

TEST(UserLanguage, FirstUiLanguageOfTheEnvironment)
{
    struct Env {
        const char* language;
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        std::uint16_t expected;
    };
    const Env cases[] = {
        {"fr_FR:de_DE", "", "", "de_DE.UTF-8", 1036},
        {"", "pt_BR.UTF-8", "de_DE.UTF-8", "ru_RU.UTF-8", 1046},
        {":", "", "it_IT.UTF-8", "ru_RU.UTF-8", 1040},
        {"", "", "", "ko_KR.UTF-8", 1042},
        {"", "", "", "", 1033},
    };
    const char* const variables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    QByteArray saved[4];
    for (int i = 0; i < 4; ++i)
        saved[i] = qgetenv(variables[i]);
    for (const Env& env : cases) {
        const char* const values[] = {env.language, env.lcAll, env.lcMessages, env.lang};
        for (int i = 0; i < 4; ++i)
            qputenv(variables[i], values[i]);
        EXPECT_EQ(platform::GetUserDefaultUILanguage(), env.expected)
            << env.language << "|" << env.lcAll << "|" << env.lcMessages << "|" << env.lang;
    }
    for (int i = 0; i < 4; ++i) {
        if (saved[i].isNull())
            qunsetenv(variables[i]);
        else
            qputenv(variables[i], saved[i]);
    }
}

} // namespace
