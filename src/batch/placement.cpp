#include "placement.h"

#include "i18n/translation.h"
#include "placementjournal.h"
#include "platform/durablefile.h"
#include "platform/filestep.h"
#include "platform/trash.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    const qsizetype maximum = limit > 0 ? limit : NAME_MAX;
    QString candidate = path;
    for (int n = 2; exists(candidate); ++n) {
        // " (n)" and the extension are what tell the copies apart: the stem gives way to them.
        const QString tail = QStringLiteral(" (%1)").arg(n) + ext;
        const QString stem = platform::CutToBytes(base, maximum - QFile::encodeName(tail).size());
        candidate = folder + stem + tail;
    }
    return candidate;
}

namespace
{

QString lastError()
{
    return systemError(errno);
}

// Ends a placement that could not be done: what it made goes, its journal entry is closed.
TPlacement undo(TPlacementJournal& journal, const char* text, const QString& value,
                const QStringList& made)
{
    const int error = errno;
    for (const QString& path : made)
        QFile::remove(path);
    journal.Finish();
    errno = error;
    return failed(TranslateText(text), value);
}

} // namespace

TPlacement ReplaceOriginal(const QString& original, const QString& enlarged, TDisposal disposal)
{
    const QString folder = folderOf(original);
    const QString name = original.mid(folder.size());
    const int permissions = platform::FilePermissions(original);
    if (permissions < 0)
        return failed(TranslateText("Could not replace the original: %s"), lastError());
    const QString part = folder + platform::HiddenPartName(name);
    const auto journal = TPlacementJournal::Begin(TPlacementJournal::Folder(),
                                                  disposal == TDisposal::RecycleBin
                                                      ? TPlacementJournal::TKind::ReplaceRecycling
                                                      : TPlacementJournal::TKind::ReplaceDeleting,
                                                  original, part, true);
    if (!journal)
        return failed(TranslateText("Could not write the enlarged image: %s"), lastError());

    // The enlarged image is complete on the disk under a hidden name before the original moves.
    platform::BeforeFileStep();
    if (!platform::CopyToNewFile(enlarged, part, permissions, platform::TSync::Yes))
        return undo(*journal, "Could not write the enlarged image: %s", lastError(), {});
    platform::BeforeFileStep();
    if (!platform::SyncFolder(folder))
        return undo(*journal, "Could not write the enlarged image: %s", lastError(), {part});

    if (disposal == TDisposal::RecycleBin) {
        // The original gets a second name in the trash while it keeps its own; the enlarged image
        // then takes the original's name in one step. The name never stands empty.
        platform::TTrashSlot slot;
        for (int n = 1;; ++n) {
            slot = platform::TrashSlotFor(original, n);
            if (slot.file.isEmpty() || n >= 10000 ||
                !journal->NoteTrashSlot(slot.file, slot.info, slot.part))
                return undo(*journal, "Could not move the original to the trash: %s", lastError(),
                            {part});
            platform::BeforeFileStep();
            if (platform::WriteTrashInfo(slot, original))
                break;
            if (errno != EEXIST)
                return undo(*journal, "Could not move the original to the trash: %s", lastError(),
                            {part});
        }
        platform::BeforeFileStep();
        if (!platform::KeepInTrashSlot(original, slot))
            return undo(*journal, "Could not move the original to the trash: %s", lastError(),
                        {part, slot.info});
        platform::BeforeFileStep();
        if (!platform::RenameReplace(part, original))
            return undo(*journal, "Could not replace the original: %s", lastError(),
                        {part, slot.file, slot.info});
    } else {
        platform::BeforeFileStep();
        if (!platform::RenameReplace(part, original))
            return undo(*journal, "Could not replace the original: %s", lastError(), {part});
    }
    platform::BeforeFileStep();
    platform::SyncFolder(folder);
    journal->Finish();
    return {true, original, {}};
}

TPlacement PlaceCopy(const QString& folder, const QString& original, const QString& enlarged,
                     const QString& copyName, bool makeUnique)
{
    const QString name = copyName.isEmpty() ? original.mid(folderOf(original).size()) : copyName;
    const QString part = folder + platform::HiddenPartName(name);
    // The original is not at stake here, so neither the copy nor its journal entry is forced to
    // the disk: renamed only when complete, the copy is whole under its name after any kill.
    const auto journal = TPlacementJournal::Begin(
        TPlacementJournal::Folder(), TPlacementJournal::TKind::Copy, original, part, false);
    if (!journal)
        return failed(TranslateText("Could not save the copy: %s"), lastError());
    platform::BeforeFileStep();
    if (!platform::CopyToNewFile(enlarged, part, -1, platform::TSync::No))
        return undo(*journal, "Could not save the copy: %s", lastError(), {});
    // Another program may take the unique name between the test and the rename; then the next
    // free name is tried.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString target = makeUnique ? UniqueFileName(folder + name) : folder + name;
        platform::BeforeFileStep();
        if (platform::RenameNoReplace(part, target)) {
            journal->Finish();
            return {true, target, {}};
        }
        if (errno != EEXIST)
            break;
        if (!makeUnique) {
            QFile::remove(part);
            journal->Finish();
            return {false, target, {}, true};
        }
    }
    return undo(*journal, "Could not save the copy: %s", lastError(), {part});
}
