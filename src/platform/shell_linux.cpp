#include "shell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDesktopServices>
#include <QProcess>

namespace platform
{

namespace
{

ShellHooks& hooks()
{
    static ShellHooks instance;
    return instance;
}

} // namespace

void SetShellHooksForTesting(ShellHooks newHooks)
{
    hooks() = std::move(newHooks);
}

bool ShellOpen(const QUrl& url)
{
    if (hooks().open)
        return hooks().open(url);
    return QDesktopServices::openUrl(url);
}

bool ShellOpenFile(const QString& path)
{
    return ShellOpen(QUrl::fromLocalFile(path));
}

void ShowFileProperties(const QString& path)
{
    if (hooks().properties) {
        hooks().properties(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItemProperties"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // No reply is awaited: without a file manager on the bus nothing happens, as intended.
    QDBusConnection::sessionBus().asyncCall(call);
}

bool StartDetached(const QString& program, const QStringList& arguments)
{
    if (hooks().startDetached)
        return hooks().startDetached(program, arguments);
    return QProcess::startDetached(program, arguments);
}

} // namespace platform
