// The update checker's own per-user store, apart from settings.ini: whether to notify, the day's
// count of checks, the run counter and what the service announced last. One INI file in the
// per-user configuration folder, written through at every change.
#pragma once

#include "platform/inifile.h"

#include <QString>

class CheckerStore
{
public:
    // Opens the file at `path`, creating its folder; a missing file is an empty store. Raises
    // platform::IniError when the file exists but cannot be read.
    explicit CheckerStore(const QString& path);

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // The default also stands for a value that is not a decimal integer.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // False when the value could not be written to the file.
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteInteger(const QString& section, const QString& key, int value);

private:
    platform::IniFile ini_;
};

// Where the store lives: <config>/<company>/<product>/updatecheck.ini.
QString CheckerStorePath(const QString& companyName, const QString& productName);
