#include "translation.h"

#include "platform/debugoutput.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>
#include <memory>

QString LanguageFolder;
QString LanguageFilePath;
QString LanguageName;
QStringList LanguageLines;

namespace
{

QStringList splitLines(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    // Invalid UTF-8 sequences become U+FFFD; the rest of the file still translates.
    return QString::fromUtf8(bytes).split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
}

// The entry of `key` in `lines`; empty when it has none.
QString lookUp(const QStringList& lines, const QString& key)
{
    const QString prefix = QLatin1Char('{') + key + QLatin1Char('}');
    for (const QString& line : lines) {
        if (line.startsWith(prefix))
            return line.mid(line.indexOf(QLatin1Char('}')) + 1);
    }
    return {};
}

std::unique_ptr<QTranslator> qtTranslator;

} // namespace

bool LoadQtTranslations(const QString& languageCode, const QString& folder)
{
    if (qtTranslator) {
        QCoreApplication::removeTranslator(qtTranslator.get());
        qtTranslator.reset();
    }
    if (languageCode.isEmpty())
        return false;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(languageCode), QStringLiteral("qtbase"), QStringLiteral("_"),
                          folder))
        return false;
    QCoreApplication::installTranslator(translator.get());
    qtTranslator = std::move(translator);
    return true;
}

void LoadLanguageFile(const QString& fileName)
{
    QString folder = LanguageFolder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const QString path = folder + fileName;
    QFileInfo info(path);
    if (fileName.isEmpty() || !info.exists())
        return;

    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        platform::OutputDebugString(
            QStringLiteral("Cannot read the language file \"%1\": %2")
                .arg(path, info.isFile() ? file.errorString() : QStringLiteral("not a file")));
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        platform::OutputDebugString(QStringLiteral("Cannot read the language file \"%1\": %2")
                                        .arg(path, file.errorString()));
        return;
    }
    const qsizetype suffix = fileName.indexOf(QStringLiteral(".lang.txt"));
    LanguageName = suffix >= 0 ? fileName.left(suffix) : QString();
    LanguageFilePath = path;
    LanguageLines = splitLines(bytes);
    LoadQtTranslations(lookUp(LanguageLines, QStringLiteral("INFO:Language Code")).trimmed(),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

QString TranslateText(const QString& key)
{
    if (LanguageFilePath.isEmpty())
        return key;
    const QString translation = lookUp(LanguageLines, key);
    return translation.isEmpty() ? key : translation;
}

QStringList TranslationsInAllLanguages(const QString& key)
{
    QStringList translations;
    const QDir folder(LanguageFolder);
    for (const QString& name : folder.entryList({QStringLiteral("*.lang.txt")}, QDir::Files)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString translation = lookUp(splitLines(file.readAll()), key);
        if (!translation.isEmpty())
            translations << translation;
    }
    return translations;
}

QString WithoutAccelerator(const QString& text)
{
    static const QRegularExpression appended(QStringLiteral("\\s*\\(&[^&\\s]\\)"));
    QString stripped = text;
    stripped.remove(appended);
    QString result;
    result.reserve(stripped.size());
    for (qsizetype i = 0; i < stripped.size(); ++i) {
        if (stripped[i] == QLatin1Char('&') && i + 1 < stripped.size())
            ++i;
        result += stripped[i];
    }
    return result;
}

void UnloadLanguageForTesting()
{
    LoadQtTranslations({}, {});
    LanguageFilePath.clear();
    LanguageName.clear();
    LanguageLines.clear();
}

QString FillTemplate(const QString& text, const QStringList& values)
{
    QString result;
    qsizetype from = 0;
    for (const QString& value : values) {
        const qsizetype at = text.indexOf(QStringLiteral("%s"), from);
        if (at < 0)
            break;
        result += text.mid(from, at - from) + value;
        from = at + 2;
    }
    return result + text.mid(from);
}
