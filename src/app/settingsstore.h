// Where settings.ini lives and the one store over it. Every change is written through at once;
// nothing is written at exit.
#pragma once

#include "platform/inifile.h"

#include <QString>
#include <memory>

extern QString SettingsFolder; // ends with '/'
extern std::unique_ptr<platform::IniFile> SettingsIni;

// Beside the executable when that folder is writable, else the per-user configuration folder +
// "<company>/<product>/" (created when missing). Ends with '/'.
QString ChooseSettingsFolder(const QString& executableFolder, const QString& companyName,
                             const QString& productName);

// Opens SettingsFolder + "settings.ini"; a file that cannot be read or is not valid UTF-8 is
// deleted and an empty store is used instead.
void OpenSettingsIni();

// Reads key of section "Settings" (empty when missing).
QString ReadSetting(const QString& key);
// Writes key of section "Settings" and the file at once. A failure to write the file is shown
// once per run; the value stays in memory.
void WriteSetting(const QString& key, const QString& value);
