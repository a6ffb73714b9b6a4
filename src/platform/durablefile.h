// File steps that survive a crash or a kill at any moment: a complete, synced copy under a hidden
// name of its own before anything takes a final name, renames that are atomic, and folder syncs
// that make a rename stick.
#pragma once

#include <QString>

namespace platform
{

// A new hidden name for a file on its way to the name `hint`: ".<hint>.grandora-<random>.part",
// the hint cut on a character boundary so that the whole stays within the file-name limit.
QString HiddenPartName(const QString& hint);

// Copies `source` to `path`, created exclusively so it never touches an existing file. With
// `permissions` >= 0 the copy gets exactly those permission bits; otherwise those of a new file.
// With `sync` the data reaches the disk before it returns. Returns false with errno set (nothing
// is left behind then).
enum class TSync { No, Yes };
bool CopyToNewFile(const QString& source, const QString& path, int permissions, TSync sync);

// `name` cut to at most `bytes` bytes of the file-name encoding, on a character boundary.
QString CutToBytes(const QString& name, qsizetype bytes);

// Creates `path` exclusively (failing with EEXIST when it exists) as a private file holding
// `bytes`, synced to the disk. Returns false with errno set; a file it created is removed then.
bool WriteNewFileDurably(const QString& path, const QByteArray& bytes);

// The permission bits of `path` (a link is followed), or -1 with errno set.
int FilePermissions(const QString& path);

// Renames in one atomic step; fails with EEXIST instead of replacing an existing `to`.
bool RenameNoReplace(const QString& from, const QString& to);
// Renames in one atomic step, replacing `to` when it exists.
bool RenameReplace(const QString& from, const QString& to);

// Makes the entries of `folder` (creations, renames) durable. Returns false with errno set.
bool SyncFolder(const QString& folder);

} // namespace platform
