// Where settings.ini lives and the one store over it. Every change is written through at once;
// nothing is written at exit.
#pragma once

#include "platform/inifile.h"

#include <QString>
#include <memory>

// Beside the executable when that folder is writable, else the per-user configuration folder +
// "<company>/<product>/" (created when missing). Ends with '/'.
QString ChooseSettingsFolder(const QString& executableFolder, const QString& companyName,
                             const QString& productName);

// The section "Settings" of settings.ini in one folder.
class TSettingsStore
{
public:
    // Opens `folder` (ending with '/') + "settings.ini"; a file that cannot be read or is not
    // valid UTF-8 is deleted and an empty store is used instead.
    void Open(const QString& folder);

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
    bool writeFailureShown_ = false;
};
