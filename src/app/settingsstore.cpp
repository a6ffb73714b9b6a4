#include "settingsstore.h"

#include "i18n/translation.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/oserror.h"

#include <QDir>
#include <QFile>

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

void TSettingsStore::Open(const QString& folder)
{
    folder_ = folder;
    unreadable_.reset();
    unreadableShown_ = false;
    const QString path = folder + QStringLiteral("settings.ini");
    try {
        ini_ = std::make_unique<platform::IniFile>(path);
    } catch (const platform::IniUnreadableError& error) {
        // Nothing is known of what it holds: it may be the user's, or not ours to replace.
        unreadable_ = error;
        ini_ = std::make_unique<platform::IniFile>(platform::IniFile::Empty(path));
    } catch (const platform::IniError&) {
        QFile::remove(path);
        ini_ = std::make_unique<platform::IniFile>(platform::IniFile::Empty(path));
    }
}

void TSettingsStore::ReportUnreadableFile()
{
    if (!unreadable_ || unreadableShown_)
        return;
    unreadableShown_ = true;
    const QString reason = unreadable_->code() ? platform::SystemErrorText(unreadable_->code())
                                               : TranslateText("Not a regular file");
    const QString problem = FillTemplate(TranslateText("The settings file %s cannot be read: %s"),
                                         {unreadable_->fileName(), reason});
    platform::MessageBox(
        nullptr,
        problem + QStringLiteral("\n\n") +
            TranslateText("The program uses default settings, and changes will not be saved."),
        TranslateText("Error"), platform::MB_ICONERROR);
}

QString TSettingsStore::Read(const QString& key) const
{
    return ini_ ? ini_->ReadString(settingsSection, key, QString()) : QString();
}

void TSettingsStore::Write(const QString& key, const QString& value)
{
    if (!ini_)
        return;
    try {
        ini_->WriteString(settingsSection, key, value);
        if (!unreadable_)
            ini_->UpdateFile();
    } catch (const platform::IniError& error) {
        // One message is enough to tell the user; every later change would fail the same way.
        // A store over an unreadable file has said already that changes are not kept.
        if (writeFailureShown_ || unreadable_)
            return;
        writeFailureShown_ = true;
        platform::MessageBox(nullptr, error.message(), TranslateText("Error"),
                             platform::MB_ICONERROR);
    }
}
