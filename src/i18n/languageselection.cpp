#include "languageselection.h"

#include "platform/files.h"
#include "platform/userlanguage.h"
#include "translation.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

QStringList LanguageFileList;

namespace
{

QString asciiLower(QString text)
{
    for (QChar& c : text) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return text;
}

} // namespace

QString TrimSpacesAndControls(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= ' ')
        ++first;
    while (last > first && text[last - 1].unicode() <= ' ')
        --last;
    return text.mid(first, last - first);
}

void FindLanguageFiles(const QString& folder)
{
    // Unsorted: the folder's own order is the order the dialog receives its entries in.
    QDirIterator entries(folder, {QStringLiteral("*lang.txt")},
                         QDir::Files | QDir::Hidden | QDir::System);
    while (entries.hasNext()) {
        entries.next();
        LanguageFileList.append(entries.fileName());
    }
}

QStringList ReadLanguageCodes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        text = QString::fromUtf8(bytes.mid(3));
    else if (bytes.startsWith("\xFF\xFE"))
        text = QStringDecoder(QStringDecoder::Utf16LE).decode(bytes.mid(2));
    else if (bytes.startsWith("\xFE\xFF"))
        text = QStringDecoder(QStringDecoder::Utf16BE).decode(bytes.mid(2));
    else
        text = QStringDecoder(QStringDecoder::System).decode(bytes);
    return text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
}

QString LanguageCodeFileName(const QStringList& lines, const QString& langId)
{
    for (const QString& line : lines) {
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma < 0)
            continue;
        if (TrimSpacesAndControls(line.left(comma)) == langId)
            return TrimSpacesAndControls(line.mid(comma + 1));
    }
    return {};
}

QString FindFileNameIgnoringCase(const QStringList& files, const QString& fileName)
{
    const QString wanted = asciiLower(fileName);
    for (const QString& file : files) {
        if (asciiLower(file) == wanted)
            return file;
    }
    return {};
}

void LoadLanguage(const QString& languageFileSetting)
{
    LoadLanguage(languageFileSetting, platform::ProgramDataFolder(),
                 platform::GetUserDefaultUILanguage());
}

void LoadLanguage(const QString& languageFileSetting, const QString& executableFolder,
                  std::uint16_t userLanguage)
{
    LanguageFolder = executableFolder + QStringLiteral("Languages");
    LanguageFileList.clear();
    if (!QFileInfo(LanguageFolder).isDir())
        return;
    FindLanguageFiles(LanguageFolder);

    QString fileToLoad = languageFileSetting;
    const QString codesPath = LanguageFolder + QStringLiteral("/LanguageCodes.csv");
    if (TrimSpacesAndControls(languageFileSetting).isEmpty() && QFileInfo::exists(codesPath)) {
        const QString wanted =
            LanguageCodeFileName(ReadLanguageCodes(codesPath), QString::number(userLanguage));
        const QString found = FindFileNameIgnoringCase(LanguageFileList, wanted);
        if (!found.isEmpty())
            fileToLoad = found;
    }
    // The setting comes from a file the user can edit; a path in it must not reach a file
    // outside the language folder.
    if (fileToLoad.contains(QLatin1Char('/')))
        return;
    LoadLanguageFile(fileToLoad);
}
