// The desktop shell: opening files, folders and web pages with the user's default application,
// showing a file's properties, and starting programs detached. Tests replace the opener to see
// what would have been opened without starting anything.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace platform
{

// Opens a web address, file or folder with the user's default application. Failures are
// reported by the return value only.
bool ShellOpen(const QUrl& url);
bool ShellOpenFile(const QString& path);

// Asks the desktop's file manager to show the properties of `path` over D-Bus; does nothing
// visible when no file manager answers.
void ShowFileProperties(const QString& path);

// Starts `program` with `arguments` detached from this process.
bool StartDetached(const QString& program, const QStringList& arguments);

// Test seam: while set, ShellOpen/ShellOpenFile, ShowFileProperties and StartDetached call these
// instead of the desktop.
struct ShellHooks {
    std::function<bool(const QUrl&)> open;
    std::function<void(const QString&)> properties;
    std::function<bool(const QString&, const QStringList&)> startDetached;
};
void SetShellHooksForTesting(ShellHooks hooks);

} // namespace platform
