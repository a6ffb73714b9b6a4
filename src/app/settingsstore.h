// Where settings.ini lives and the one store over it. Every change is written through at once;
// nothing is written at exit.
#pragma once

#include "platform/inifile.h"

#include <QString>
#include <memory>
#include <optional>

// Beside the executable when that folder is writable, else the per-user configuration folder +
// "<company>/<product>/" (created when missing). Ends with '/'.
QString ChooseSettingsFolder(const QString& executableFolder, const QString& companyName,
                             const QString& productName);

// The section "Settings" of settings.ini in one folder.
class TSettingsStore
{
public:
    // Opens `folder` (ending with '/') + "settings.ini". A file that was read and is not valid
    // UTF-8 is deleted and an empty store is used instead. A file that cannot be read at all
    // (not a regular file, no permission, too large) is left exactly as it is: the store starts
    // empty and keeps every change in memory only.
    void Open(const QString& folder);

    // Tells the user, once, that settings.ini could not be read and changes will not be kept;
    // nothing when it was read. Called once the user's language is loaded.
    void ReportUnreadableFile();

    // The folder of settings.ini, ending with '/'; empty until opened.
    const QString& Folder() const { return folder_; }

    // The value of `key` (empty when missing).
    QString Read(const QString& key) const;
    // Writes `key` and the file at once. A failure to write the file is shown once per store;
    // the value stays in memory.
    void Write(const QString& key, const QString& value);

private:
    QString folder_;
    std::unique_ptr<platform::IniFile> ini_;
    // Set when the file could not be read; it must then never be replaced.
    std::optional<platform::IniUnreadableError> unreadable_;
    bool unreadableShown_ = false;
    bool writeFailureShown_ = false;
};
