// The desktop shell: opening files, folders and web pages with the user's default application,
// showing a file's properties, and starting programs detached. Tests replace the opener to see
// what would have been opened without starting anything.
#pragma once

#include <QObject>
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

// Opens as above, and runs `failed` when nothing opened it: no opener, or one that reports a
// failure while it still may (xdg-open without a file manager ends with an error a moment
// later). `failed` runs on this thread, and not once `context` is gone.
void ShellOpen(const QUrl& url, const QObject* context, std::function<void()> failed);
void ShellOpenFile(const QString& path, const QObject* context, std::function<void()> failed);

// Asks the desktop's file manager to show the properties of `path` over D-Bus; runs `failed`, as
// ShellOpen does, when there is no session bus or no file manager answers.
void ShowFileProperties(const QString& path, const QObject* context, std::function<void()> failed);

// Starts `program` with `arguments` detached from this process.
bool StartDetached(const QString& program, const QStringList& arguments);

// Test seam: while set, ShellOpen/ShellOpenFile, ShowFileProperties and StartDetached call these
// instead of the desktop; a hook that returns false stands for a desktop where nothing opened.
struct ShellHooks {
    std::function<bool(const QUrl&)> open;
    std::function<bool(const QString&)> properties;
    std::function<bool(const QString&, const QStringList&)> startDetached;
};
void SetShellHooksForTesting(ShellHooks hooks);

} // namespace platform
