#include "settingsstore.h"

#include "i18n/translation.h"
#include "platform/dialogs.h"
#include "platform/files.h"

#include <QDir>
#include <QFile>

QString SettingsFolder;
std::unique_ptr<platform::IniFile> SettingsIni;

namespace
{

const QString settingsSection = QStringLiteral("Settings");

} // namespace

QString ChooseSettingsFolder(const QString& executableFolder, const QString& companyName,
                             const QString& productName)
{
    if (platform::IsFolderWritable(executableFolder)) {
        QString folder = executableFolder;
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        return folder;
    }
    const QString appData = platform::AppDataFolder();
    QDir().mkdir(appData);
    QDir().mkdir(appData + QLatin1Char('/') + companyName);
    const QString folder =
        appData + QLatin1Char('/') + companyName + QLatin1Char('/') + productName;
    QDir().mkdir(folder);
    return folder + QLatin1Char('/');
}

void OpenSettingsIni()
{
    const QString path = SettingsFolder + QStringLiteral("settings.ini");
    try {
        SettingsIni = std::make_unique<platform::IniFile>(path);
    } catch (const platform::IniError&) {
        QFile::remove(path);
        SettingsIni = std::make_unique<platform::IniFile>(path);
    }
}

QString ReadSetting(const QString& key)
{
    return SettingsIni ? SettingsIni->ReadString(settingsSection, key, QString()) : QString();
}

void WriteSetting(const QString& key, const QString& value)
{
    static bool writeFailureShown = false;
    if (!SettingsIni)
        return;
    try {
        SettingsIni->WriteString(settingsSection, key, value);
        SettingsIni->UpdateFile();
    } catch (const platform::IniError& error) {
        // Typing a path writes on every keystroke: one message is enough to tell the user.
        if (writeFailureShown)
            return;
        writeFailureShown = true;
        platform::MessageBox(nullptr, error.message(), TranslateText("Error"),
                             platform::MB_ICONERROR);
    }
}
