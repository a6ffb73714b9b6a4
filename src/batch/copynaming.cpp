#include "copynaming.h"

#include "i18n/translation.h"
#include "platform/durablefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>

namespace
{

const char* const fieldNames[] = {"name", "scale", "type", "model"};

// The original's name without its extension, as a copy has always been named.
QString baseNameOf(const QString& input)
{
    const QString name = QFileInfo(input).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

// One "{word}" of the pattern at `at`: the word's length, or 0 when no word in braces starts
// there. Braces around anything else are taken as they are.
qsizetype fieldAt(const QString& pattern, qsizetype at)
{
    if (pattern[at] != QLatin1Char('{'))
        return 0;
    qsizetype end = at + 1;
    while (end < pattern.size() && pattern[end].isLetter())
        ++end;
    return end > at + 1 && end < pattern.size() && pattern[end] == QLatin1Char('}') ? end - at - 1
                                                                                    : 0;
}

bool isKnownField(const QString& word)
{
    for (const char* field : fieldNames) {
        if (word.compare(QLatin1String(field), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The pattern with each field replaced by `valueOf(field)`.
template <typename ValueOf> QString fill(const QString& pattern, ValueOf valueOf)
{
    QString result;
    for (qsizetype at = 0; at < pattern.size();) {
        if (const qsizetype length = fieldAt(pattern, at); length > 0) {
            result += valueOf(pattern.mid(at + 1, length).toLower());
            at += length + 2;
        } else {
            result += pattern[at++];
        }
    }
    return result;
}

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString CopyNameFields()
{
    QStringList fields;
    for (const char* field : fieldNames)
        fields << QLatin1Char('{') + QLatin1String(field) + QLatin1Char('}');
    return fields.join(QStringLiteral(", "));
}

QString CopyNameFault(const QString& pattern)
{
    if (pattern.trimmed().isEmpty())
        return TranslateText("The copy name is empty.");
    for (qsizetype at = 0; at < pattern.size(); ++at) {
        if (const qsizetype length = fieldAt(pattern, at); length > 0) {
            const QString word = pattern.mid(at + 1, length);
            if (!isKnownField(word))
                return FillTemplate(TranslateText("The copy name %s has an unknown field %s. The "
                                                  "fields are %s."),
                                    {quoted(pattern), QLatin1Char('{') + word + QLatin1Char('}'),
                                     CopyNameFields()});
        }
    }
    // A slash would put the copy into another folder, possibly outside the destination.
    if (pattern.contains(QLatin1Char('/')))
        return FillTemplate(
            TranslateText("The copy name %s contains \"/\", which separates folders."),
            {quoted(pattern)});
    // The file system refuses NUL; the other control characters make names nobody can type.
    const auto control = [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; };
    if (std::any_of(pattern.begin(), pattern.end(), control)) {
        QString shown = pattern;
        std::replace_if(shown.begin(), shown.end(), control, QChar(QChar::ReplacementCharacter));
        return FillTemplate(TranslateText("The copy name %s contains a control character, which "
                                          "file names cannot hold."),
                            {quoted(shown)});
    }
    // The fields never give a dot or nothing, so only the typed text can.
    const QString stem = fill(pattern, [](const QString&) { return QStringLiteral("x"); });
    if (stem == QStringLiteral(".") || stem == QStringLiteral(".."))
        return FillTemplate(
            TranslateText("The copy name %s gives \".\" or \"..\", which stand for folders."),
            {quoted(pattern)});
    return {};
}

QString CopyFileName(const TBatchOptions& options, const QString& input, const QString& savedName)
{
    const QString base = baseNameOf(input);
    // The saved name is the base and the extension of the output format.
    const QString extension = savedName.mid(base.size());
    const QString stem = fill(options.copyName, [&](const QString& field) {
        if (field == QLatin1String("name"))
            return base;
        if (field == QLatin1String("scale"))
            return QString::number(options.scale);
        if (field == QLatin1String("type"))
            return ImageTypeSettingName(options.imageType);
        return ModelName(options.imageType, options.speed);
    });
    const qsizetype room = NAME_MAX - QFile::encodeName(extension).size();
    return platform::CutToBytes(stem, room) + extension;
}

TCopyFolder CopyFolderOf(const TBatchOptions& options, const QString& input, const QString& origin)
{
    if (options.destination.isEmpty())
        return {QFileInfo(input).path() + QLatin1Char('/'), {}};
    QString destination = options.destination;
    if (!destination.endsWith(QLatin1Char('/')))
        destination += QLatin1Char('/');
    if (!options.keepFolderStructure || origin.isEmpty())
        return {destination, {}};
    const QString added = QDir::cleanPath(QFileInfo(origin).absoluteFilePath());
    // Real paths on both sides: a linked folder below the added one, or a ".." in a listed name,
    // shows as a folder outside it.
    const QString root = QFileInfo(added).canonicalFilePath();
    const QString folder = QFileInfo(QFileInfo(input).absolutePath()).canonicalFilePath();
    const QString rootSlash = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (root.isEmpty() || folder.isEmpty() || (folder != root && !folder.startsWith(rootSlash)))
        return {{}, LeavesDestinationReason(input)};
    const QString below = folder == root ? QString() : folder.mid(rootSlash.size());
    QString result = destination;
    // The root folder has no name of its own: its tree goes straight into the destination.
    if (const QString name = QFileInfo(added).fileName(); !name.isEmpty())
        result += name + QLatin1Char('/');
    if (!below.isEmpty())
        result += below + QLatin1Char('/');
    return {result, {}};
}

QString MakeCopyFolder(const QString& destination, const QString& folder)
{
    const QString base = QDir::cleanPath(destination);
    const QString target = QDir::cleanPath(folder);
    if (target == base)
        return {};
    const QString baseSlash = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
    const QString realBase = QFileInfo(base).canonicalFilePath();
    if (!target.startsWith(baseSlash) || realBase.isEmpty())
        return LeavesDestinationReason(folder);
    const QString realBaseSlash =
        realBase.endsWith(QLatin1Char('/')) ? realBase : realBase + QLatin1Char('/');
    QString path = base;
    for (const QString& part : target.mid(baseSlash.size()).split(QLatin1Char('/'))) {
        path = path.endsWith(QLatin1Char('/')) ? path + part : path + QLatin1Char('/') + part;
        if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0 && errno != EEXIST)
            return FillTemplate(TranslateText("Could not save the copy: %s"),
                                {QString::fromLocal8Bit(std::strerror(errno))});
        // A folder of that name that was there already may be a link that leads elsewhere:
        // checked before anything is made inside it.
        const QString real = QFileInfo(path).canonicalFilePath();
        if (real.isEmpty() || !real.startsWith(realBaseSlash))
            return LeavesDestinationReason(folder);
        if (!QFileInfo(real).isDir())
            return FillTemplate(TranslateText("Could not save the copy: %s"),
                                {QString::fromLocal8Bit(std::strerror(ENOTDIR))});
    }
    return {};
}

QString LeavesDestinationReason(const QString& input)
{
    return FillTemplate(TranslateText("The copy would land outside the destination folder, through "
                                      "a link or \"..\": %s"),
                        {input});
}
