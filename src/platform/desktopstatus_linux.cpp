#include "desktopstatus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

namespace platform
{

namespace
{

DesktopStatusHooks& hooks()
{
    static DesktopStatusHooks installed;
    return installed;
}

} // namespace

void SetLauncherProgress(const QString& desktopId, double fraction, bool visible)
{
    if (hooks().launcherProgress) {
        hooks().launcherProgress(fraction, visible);
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // The launcher entry protocol that docks and task managers listen for.
    QDBusMessage update = QDBusMessage::createSignal(
        QStringLiteral("/com/zelmora/grandora/launcher"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    update << QStringLiteral("application://") + desktopId
           << QVariantMap{{QStringLiteral("progress"), fraction},
                          {QStringLiteral("progress-visible"), visible}};
    bus.send(update);
}

void ShowNotification(const QString& appName, const QString& summary, const QString& body)
{
    if (hooks().notification) {
        hooks().notification(summary, body);
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << appName << 0u << QStringLiteral("grandora") << summary << body << QStringList()
           << QVariantMap() << -1;
    // Nobody waits for the answer: without a notification service the call simply fails.
    bus.asyncCall(notify);
}

void SetDesktopStatusHooksForTesting(DesktopStatusHooks hooks_)
{
    hooks() = std::move(hooks_);
}

} // namespace platform
