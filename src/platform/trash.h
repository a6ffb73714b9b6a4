// The desktop's trash can (freedesktop.org layout): a file moved there can be restored by the
// user's file manager. The file is only ever renamed, never copied, so it is either still in place
// or completely in the trash.
#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace platform
{

// Moves `path` (a file, or a link itself) into the trash of its file system: the home trash when
// it lives on the same file system as the home trash, else $topdir/.Trash-$uid of its mount. The
// .trashinfo record is written completely before the file moves. Returns false and sets errno when
// the file is missing or cannot be moved; nothing is changed then.
bool RecycleFile(const QString& path);

// One place in the trash: the file's name there, its .trashinfo record, and a hidden name for a
// copy on its way in.
struct TTrashSlot {
    QString file;
    QString info;
    QString part;
};

// The n-th candidate place (n = 1, 2, ...) for `path` in the trash of its file system, with the
// trash's folders made; nothing else is created. Empty names with errno set when `path` is
// missing or the trash cannot be used.
TTrashSlot TrashSlotFor(const QString& path, int n);
// Writes the slot's .trashinfo record for `path`, exclusively: EEXIST when the slot is taken.
bool WriteTrashInfo(const TTrashSlot& slot, const QString& path);
// Gives `path` a second name in the slot, leaving it where it is: a hard link, or on a file
// system without them a complete, synced copy that takes the slot's name only when whole.
bool KeepInTrashSlot(const QString& path, const TTrashSlot& slot);

// The home trash folder ($XDG_DATA_HOME/Trash, by default ~/.local/share/Trash).
QString HomeTrashFolder();

// Where the file that was at `originalPath` lies in the trash: the newest entry recorded for that
// path (in the home trash or the trash of the mount it was on) deleted at or after
// `trashedAfter`, to the second, as its records keep it. Nothing when no such entry is there.
std::optional<QString> FindTrashedOriginal(const QString& originalPath,
                                           const QDateTime& trashedAfter);

} // namespace platform
