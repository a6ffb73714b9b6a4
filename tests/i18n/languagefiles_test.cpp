// The shipped translations against the texts the program really shows: every literal passed to
// TranslateText in the sources must be translated in every language file.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
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
    // A long key may be written as adjacent literals, which the compiler joins.
    static const QRegularExpression call(
        QString::fromUtf8(R"re(TranslateText\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)\))re"));
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
