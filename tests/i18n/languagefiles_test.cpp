// The shipped translations against the texts the program really shows: every literal passed to
// TranslateText in the sources must be translated in every language file.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QMap>
#include <QRegularExpression>
#include <QTranslator>
#include <gtest/gtest.h>

namespace
{

const QString sourceDir = QStringLiteral(GRANDORA_SOURCE_DIR);

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList programKeys()
{
    // A long key may be written as adjacent literals, which the compiler joins. The batch
    // engine's reasons go through withTemplate, which translates its first argument.
    static const QRegularExpression call(QString::fromUtf8(
        R"re((?:TranslateText|withTemplate)\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)[,)])re"));
    static const QRegularExpression literal(QString::fromUtf8(R"re("((?:[^"\\]|\\.)*)")re"));
    QStringList keys;
    QDirIterator files(sourceDir + QStringLiteral("/src"),
                       {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString text = readText(files.next());
        for (auto match = call.globalMatch(text); match.hasNext();) {
            QString key;
            for (auto part = literal.globalMatch(match.next().captured(1)); part.hasNext();)
                key += part.next().captured(1);
            key.replace(QStringLiteral("\\\""), QStringLiteral("\""))
                .replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
            if (!keys.contains(key))
                keys.append(key);
        }
    }
    return keys;
}

// Key to translation, by the lookup's rule that the first line of a key wins.
QMap<QString, QString> entries(const QString& path, QStringList* duplicates)
{
    QMap<QString, QString> map;
    QString text = readText(path);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    for (const QString& line : text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")))) {
        const qsizetype close = line.indexOf(QLatin1Char('}'));
        if (!line.startsWith(QLatin1Char('{')) || close < 0)
            continue;
        const QString key = line.mid(1, close - 1);
        if (map.contains(key))
            duplicates->append(key);
        else
            map.insert(key, line.mid(close + 1));
    }
    return map;
}

QStringList shippedFiles()
{
    return QDir(sourceDir + QStringLiteral("/languages"))
        .entryList({QStringLiteral("*.lang.txt")}, QDir::Files, QDir::Name);
}

TEST(LanguageFiles, EveryFileTranslatesEveryKeyOfTheProgram)
{
    const QStringList keys = programKeys();
    ASSERT_GT(keys.size(), 30) << "the keys were not found in the sources";
    const QStringList files = shippedFiles();
    for (const char* language :
         {"German", "French", "Spanish", "Italian", "PortugueseBrazil", "Turkish", "Russian",
          "Polish", "Dutch", "Japanese", "ChineseSimplified", "Korean"})
        EXPECT_TRUE(files.contains(QLatin1String(language) + QStringLiteral(".lang.txt")))
            << language;

    for (const QString& file : files) {
        QStringList duplicates;
        const auto map = entries(sourceDir + QStringLiteral("/languages/") + file, &duplicates);
        EXPECT_TRUE(duplicates.isEmpty())
            << file.toStdString() << ": " << duplicates.join(QStringLiteral(", ")).toStdString();
        EXPECT_EQ(map.value(QStringLiteral("INFO:Translated By")), QStringLiteral("Zelmora"))
            << file.toStdString();
        // The language dialog names the language by these, and Qt's own texts follow the code.
        EXPECT_FALSE(map.value(QStringLiteral("INFO:Language Name")).isEmpty())
            << file.toStdString();
        EXPECT_FALSE(map.value(QStringLiteral("INFO:English Name")).isEmpty())
            << file.toStdString();
        QTranslator qt;
        EXPECT_TRUE(qt.load(QLocale(map.value(QStringLiteral("INFO:Language Code"))),
                            QStringLiteral("qtbase"), QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            << file.toStdString() << ": no Qt translation for its language code";
        for (const QString& key : keys) {
            const QString translation = map.value(key);
            EXPECT_FALSE(translation.isEmpty())
                << file.toStdString() << " lacks {" << key.toStdString() << "}";
            EXPECT_EQ(translation.count(QStringLiteral("%s")), key.count(QStringLiteral("%s")))
                << file.toStdString() << ": {" << key.toStdString() << "}"
                << translation.toStdString();
            if (key.endsWith(QStringLiteral("..."))) {
                EXPECT_TRUE(translation.endsWith(QStringLiteral("...")))
                    << file.toStdString() << ": {" << key.toStdString() << "}"
                    << translation.toStdString();
            }
            EXPECT_EQ(translation, translation.trimmed())
                << file.toStdString() << ": {" << key.toStdString() << "}";
        }
    }
}

// The letter that Alt and the letter press, lower case; empty without exactly one mark.
QString acceleratorOf(const QString& text)
{
    QString letter;
    int marks = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] != QLatin1Char('&')) {
            letter = text[i + 1].toLower();
            ++marks;
        }
        ++i;
    }
    return marks == 1 && letter[0].isLetterOrNumber() ? letter : QString();
}

TEST(LanguageFiles, EveryMenuAndButtonHasItsOwnAccelerator)
{
    // The texts that are reachable with Alt at the same time: each menu, and each page of the
    // main window with the menu bar's titles.
    const QStringList bar = {QStringLiteral("&File"), QStringLiteral("&Settings"),
                             QStringLiteral("&Help")};
    // The options page besides Start or STOP: its buttons and the labels of its controls.
    const QStringList options = {QStringLiteral("&Back"),
                                 QStringLiteral("B&rowse..."),
                                 QStringLiteral("Sc&ale:"),
                                 QStringLiteral("&Output format:"),
                                 QStringLiteral("JPEG &quality:"),
                                 QStringLiteral("S&peed:"),
                                 QStringLiteral("E&ngine:"),
                                 QStringLiteral("&Keep metadata"),
                                 QStringLiteral("Keep fol&der structure"),
                                 QStringLiteral("&Copy name:"),
                                 QStringLiteral("&When the copy's name is taken:"),
                                 QStringLiteral("Pre&view")};
    const QList<QStringList> groups = {
        bar,
        {QStringLiteral("&Clear"), QStringLiteral("&Add Files..."),
         QStringLiteral("Add F&older..."), QStringLiteral("E&xit")},
        {QStringLiteral("&Include Subfolders"), QStringLiteral("&Reset to Defaults...")},
        {QStringLiteral("Online &Help"), QStringLiteral("&Update Notifications"),
         QStringLiteral("&Language..."), QStringLiteral("Send &Feedback..."),
         QStringLiteral("&About...")},
        {QStringLiteral("&Open File"), QStringLiteral("&Properties"), QStringLiteral("Co&mpare"),
         QStringLiteral("&Delete"), QStringLiteral("&Clear")},
        {QStringLiteral("&Fit"), QStringLiteral("&100%"), QStringLiteral("&200%"),
         QStringLiteral("&400%")},
        // The comparison window with the preview's side.
        {QStringLiteral("&Fit"), QStringLiteral("&100%"), QStringLiteral("&200%"),
         QStringLiteral("&400%"), QStringLiteral("Compare &with:"), QStringLiteral("S&TOP")},
        bar + QStringList{QStringLiteral("&Add Files..."), QStringLiteral("Add F&older..."),
                          QStringLiteral("&Next")},
        bar + options + QStringList{QStringLiteral("S&tart")},
        bar + options + QStringList{QStringLiteral("S&TOP")},
    };
    const QStringList keys = programKeys();
    QStringList files = shippedFiles();
    files.prepend(QString()); // English: the keys themselves
    for (const QString& file : files) {
        QStringList duplicates;
        const auto map =
            file.isEmpty() ? QMap<QString, QString>()
                           : entries(sourceDir + QStringLiteral("/languages/") + file, &duplicates);
        const std::string name = file.isEmpty() ? "English" : file.toStdString();
        for (const QStringList& group : groups) {
            QMap<QString, QString> taken;
            for (const QString& key : group) {
                EXPECT_TRUE(keys.contains(key)) << key.toStdString() << " is no key of the program";
                const QString text = file.isEmpty() ? key : map.value(key);
                const QString letter = acceleratorOf(text);
                EXPECT_FALSE(letter.isEmpty())
                    << name << ": no single accelerator in " << text.toStdString();
                if (letter.isEmpty())
                    continue;
                EXPECT_FALSE(taken.contains(letter))
                    << name << ": " << text.toStdString() << " and "
                    << taken.value(letter).toStdString() << " share Alt+" << letter.toStdString();
                taken.insert(letter, text);
            }
        }
    }
}

TEST(LanguageFiles, CodesNameShippedFilesOnceEachAndCoverTheMainRegions)
{
    const QStringList files = shippedFiles();
    QMap<QString, QString> codes;
    for (const QString& line : readText(sourceDir + QStringLiteral("/languages/LanguageCodes.csv"))
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList columns = line.split(QLatin1Char(','));
        ASSERT_EQ(columns.size(), 2) << line.toStdString();
        EXPECT_FALSE(codes.contains(columns[0])) << line.toStdString();
        EXPECT_TRUE(files.contains(columns[1])) << line.toStdString();
        codes.insert(columns[0], columns[1]);
    }
    const std::pair<const char*, const char*> mainRegions[] = {
        {"1031", "German"},
        {"2055", "German"},
        {"3079", "German"},
        {"1036", "French"},
        {"3084", "French"},
        {"3082", "Spanish"},
        {"2058", "Spanish"},
        {"1040", "Italian"},
        {"1046", "PortugueseBrazil"},
        {"1055", "Turkish"},
        {"1049", "Russian"},
        {"1045", "Polish"},
        {"1043", "Dutch"},
        {"2067", "Dutch"},
        {"1041", "Japanese"},
        {"2052", "ChineseSimplified"},
        {"1042", "Korean"},
    };
    for (const auto& [id, language] : mainRegions)
        EXPECT_EQ(codes.value(QLatin1String(id)),
                  QLatin1String(language) + QStringLiteral(".lang.txt"))
            << id;
}

TEST(LanguageFiles, TheBuildPutsThemBesideTheProgram)
{
    QStringList expected = shippedFiles();
    expected.append(QStringLiteral("LanguageCodes.csv"));
    for (const QString& file : expected) {
        EXPECT_EQ(readText(QStringLiteral(GRANDORA_BIN_DIR "/Languages/") + file),
                  readText(sourceDir + QStringLiteral("/languages/") + file))
            << file.toStdString();
    }
}

} // namespace
