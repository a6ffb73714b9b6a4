// The desktop's trash can (freedesktop.org layout): a file moved there can be restored by the
// user's file manager. The file is only ever renamed, never copied, so it is either still in place
// or completely in the trash.
#pragma once

#include <QString>

namespace platform
{

// Moves `path` (a file, or a link itself) into the trash of its file system: the home trash when
// it lives on the same file system as the home trash, else $topdir/.Trash-$uid of its mount. The
// .trashinfo record is written completely before the file moves. Returns false and sets errno when
// the file is missing or cannot be moved; nothing is changed then.
bool RecycleFile(const QString& path);

// The home trash folder ($XDG_DATA_HOME/Trash, by default ~/.local/share/Trash).
QString HomeTrashFolder();

} // namespace platform
