#include "translation.h"

#include "platform/debugoutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

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

} // namespace

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

void UnloadLanguageForTesting()
{
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
