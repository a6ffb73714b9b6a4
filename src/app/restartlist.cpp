#include "restartlist.h"

#include "platform/oserror.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>

namespace
{

// Names may hold any character but NUL, line breaks included, so entries end with NUL.
// Version 1 has the completed flag and the path; version 2 follows each path with the entry's
// origin, empty for an image added by itself.
constexpr char HeaderStart[] = "Grandora image list ";
constexpr char Header[] = "Grandora image list 2\n";

// The next NUL-ended field from `at`, or nothing when the list ends first.
std::optional<QString> field(const QByteArray& bytes, qsizetype& at)
{
    const qsizetype end = bytes.indexOf('\0', at);
    if (end < 0)
        return std::nullopt;
    const QString text = QString::fromUtf8(bytes.mid(at, end - at));
    at = end + 1;
    return text;
}

} // namespace

QStringList WriteRestartList(const TImageEntries& images, int page, const QString& folder)
{
    QByteArray bytes(Header);
    bytes += QByteArray::number(page) + '\n';
    for (const TImageEntry& image : images) {
        bytes += image.completed ? '1' : '0';
        bytes += QFileInfo(image.path).absoluteFilePath().toUtf8() + '\0';
        bytes += image.origin.toUtf8() + '\0';
    }
    // QTemporaryFile creates it exclusively with mode 0600.
    QTemporaryFile file(folder + QLatin1String(RestartListPrefix) + QStringLiteral("XXXXXX"));
    file.setAutoRemove(false);
    errno = 0;
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
        const int code = errno != 0 ? errno : EIO;
        if (!file.fileName().isEmpty())
            file.remove();
        platform::RaiseOSError(
            code, QStringLiteral("Cannot write the image list into \"%1\"").arg(folder));
    }
    return {QLatin1String(RestartListOption), file.fileName()};
}

TStartArguments ParseStartArguments(const QStringList& arguments, const QString& folder)
{
    if (arguments.size() >= 2 && arguments[0] == QLatin1String(RestartListOption)) {
        const QFileInfo list(arguments[1]);
        if (!folder.isEmpty() && list.absolutePath() + QLatin1Char('/') == folder &&
            list.fileName().startsWith(QLatin1String(RestartListPrefix)))
            return {arguments[1], arguments.mid(2)};
    }
    return {QString(), arguments};
}

std::optional<TRestartList> TakeRestartList(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    file.close();
    file.remove();
    if (!bytes.startsWith(HeaderStart))
        return std::nullopt;
    const qsizetype versionEnd = bytes.indexOf('\n');
    const QByteArray version =
        bytes.mid(sizeof(HeaderStart) - 1, versionEnd - (sizeof(HeaderStart) - 1));
    if (versionEnd < 0 || (version != "1" && version != "2"))
        return std::nullopt;
    const bool withOrigins = version == "2";
    const qsizetype pageEnd = bytes.indexOf('\n', versionEnd + 1);
    if (pageEnd < 0)
        return std::nullopt;
    TRestartList list;
    list.page = bytes.mid(versionEnd + 1, pageEnd - versionEnd - 1).toInt();
    for (qsizetype at = pageEnd + 1; at < bytes.size();) {
        TImageEntry image;
        image.completed = bytes[at] == '1';
        ++at;
        const std::optional<QString> path = field(bytes, at);
        if (!path || path->isEmpty())
            break;
        image.path = *path;
        if (withOrigins) {
            const std::optional<QString> origin = field(bytes, at);
            if (!origin)
                break;
            image.origin = *origin;
        }
        list.images.push_back(image);
    }
    return list;
}
