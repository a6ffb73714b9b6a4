#include "placement.h"

#include "i18n/translation.h"
#include "platform/durablefile.h"
#include "platform/trash.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace
{

bool exists(const QString& path)
{
    struct stat st {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// `text` is a translated template with one "%s".
TPlacement failed(const QString& text, const QString& value)
{
    return {false, {}, FillTemplate(text, {value})};
}

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringLiteral("./") : path.left(slash + 1);
}

} // namespace

QString UniqueFileName(const QString& path)
{
    const QString folder = folderOf(path);
    const QString name = path.mid(folder.size());
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    const QString ext = dot < 0 ? QString() : name.mid(dot);
    QString candidate = path;
    for (int n = 2; exists(candidate); ++n)
        candidate = folder + base + QStringLiteral(" (%1)").arg(n) + ext;
    return candidate;
}

TPlacement ReplaceOriginal(const QString& original, const QString& enlarged, TDisposal disposal)
{
    const QString folder = folderOf(original);
    const QString name = original.mid(folder.size());
    const int permissions = platform::FilePermissions(original);
    if (permissions < 0) {
        const int error = errno;
        return failed(TranslateText("Could not replace the original: %s"), systemError(error));
    }
    const QString copy =
        platform::CopyToNewHiddenFile(enlarged, folder, name, permissions, platform::TSync::Yes);
    if (copy.isEmpty()) {
        const int error = errno;
        return failed(TranslateText("Could not write the enlarged image: %s"), systemError(error));
    }
    if (!platform::SyncFolder(folder)) {
        const int error = errno;
        QFile::remove(copy);
        return failed(TranslateText("Could not write the enlarged image: %s"), systemError(error));
    }

    if (disposal == TDisposal::DeletePermanently) {
        if (!platform::RenameReplace(copy, original)) {
            const int error = errno;
            QFile::remove(copy);
            return failed(TranslateText("Could not replace the original: %s"), systemError(error));
        }
    } else {
        if (!platform::RecycleFile(original)) {
            const int error = errno;
            QFile::remove(copy);
            return failed(TranslateText("Could not move the original to the trash: %s"),
                          systemError(error));
        }
        // The original is safe in the trash; should the rename fail, the enlarged file stays
        // beside its name for the user to find.
        if (!platform::RenameNoReplace(copy, original))
            return failed(
                TranslateText("The original is in the trash; the enlarged image is at %s"), copy);
    }
    platform::SyncFolder(folder);
    return {true, original, {}};
}

TPlacement PlaceCopy(const QString& folder, const QString& original, const QString& enlarged)
{
    const QString name = original.mid(folderOf(original).size());
    // The original is not at stake here, so the copy is not forced to the disk: renamed only when
    // complete, it is whole under its name after any kill of the program.
    const QString copy =
        platform::CopyToNewHiddenFile(enlarged, folder, name, -1, platform::TSync::No);
    if (copy.isEmpty()) {
        const int error = errno;
        return failed(TranslateText("Could not save the copy: %s"), systemError(error));
    }
    // Another program may take the unique name between the test and the rename; then the next
    // free name is tried.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString target = UniqueFileName(folder + name);
        if (platform::RenameNoReplace(copy, target))
            return {true, target, {}};
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    QFile::remove(copy);
    return failed(TranslateText("Could not save the copy: %s"), systemError(error));
}
