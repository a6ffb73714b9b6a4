// File-system facilities the program needs beyond Qt: its own location and data, the per-user
// folders, the writability probe and the private temporary folder.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform
{

// The real path of the running executable (/proc/self/exe).
QString ExecutablePath();
// The folder of ExecutablePath(), ending with '/'.
QString ExecutableFolder();
// Test seam: makes ExecutableFolder() answer `folder` (empty restores the real one).
void SetExecutableFolderForTesting(const QString& folder);

// The folder that holds the program's data (Languages/, realesrgan/, license.txt), ending with
// '/': ProgramDataFolderFor(ExecutableFolder()).
QString ProgramDataFolder();
// The program's data lies beside the executable in the build tree and in a folder install
// (/opt/grandora), but in ../lib/grandora/ when the executable sits in a shared bin/ folder
// (/usr/bin/grandora). The folder beside the executable is taken when it holds any of the data,
// and also when neither does, so that a missing upscaler is reported where it was looked for
// first.
QString ProgramDataFolderFor(const QString& executableFolder);

// True when "chk.tmp" can be created exclusively in `folder`; the probe file is removed again.
// A leftover "chk.tmp" therefore makes the folder count as not writable.
bool IsFolderWritable(const QString& folder);

// The size of the file at `path` (a link is followed), or -1 when there is none.
qint64 FileSizeOf(const QString& path);

// What ReadRegularFile() found at a path.
enum class TReadStatus { Read, Missing, NotRegularFile, Failed };
struct TFileContent {
    TReadStatus status = TReadStatus::Failed;
    int error = 0;    // errno of the step that failed; EFBIG when the file exceeds the limit
    QByteArray bytes; // the whole file when it was read
};

// Reads the whole file at `path` (a link is followed) when it is a regular file of at most
// `maxBytes`. A folder, device, FIFO or socket is never read from, so a hostile name cannot make
// the read block or go on without end.
TFileContent ReadRegularFile(const QString& path, qint64 maxBytes);

// The per-user configuration folder ($XDG_CONFIG_HOME or ~/.config), without trailing '/'.
QString AppDataFolder();

// The per-user private temporary folder ($XDG_CACHE_HOME/grandora/tmp, mode 0700), ending with
// '/'. It is created when missing; an empty string means it could not be made safe (a link, a
// folder of another user or with wider permissions).
QString TempFolder();

} // namespace platform
