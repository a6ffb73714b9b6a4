#include "translation.h"

#include "platform/debugoutput.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

QString LanguageFolder;
QString LanguageFilePath;
QString LanguageName;
QStringList LanguageLines;

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
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        platform::OutputDebugString(QStringLiteral("Cannot read the language file \"%1\": %2")
                                        .arg(path, file.errorString()));
        return;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);

    const qsizetype suffix = fileName.indexOf(QStringLiteral(".lang.txt"));
    LanguageName = suffix >= 0 ? fileName.left(suffix) : QString();
    LanguageFilePath = path;
    // Invalid UTF-8 sequences become U+FFFD; the rest of the file still translates.
    LanguageLines =
        QString::fromUtf8(bytes).split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
}

QString TranslateText(const QString& key)
{
    if (LanguageFilePath.isEmpty())
        return key;
    const QString prefix = QLatin1Char('{') + key + QLatin1Char('}');
    for (const QString& line : LanguageLines) {
        if (line.startsWith(prefix)) {
            const QString rest = line.mid(line.indexOf(QLatin1Char('}')) + 1);
            return rest.isEmpty() ? key : rest;
        }
    }
    return key;
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
