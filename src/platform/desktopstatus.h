// What the desktop shows of the program beyond its windows: progress on its launcher icon and
// notifications. Both go over the session bus and do nothing where no desktop listens.
#pragma once

#include <QString>
#include <functional>

namespace platform
{

// Shows `fraction` (0 to 1) on the launcher icon of the desktop file `desktopId`
// ("grandora.desktop"); `visible` false takes it away.
void SetLauncherProgress(const QString& desktopId, double fraction, bool visible);

// A desktop notification with `summary` and `body`, from `appName`.
void ShowNotification(const QString& appName, const QString& summary, const QString& body);

// Test seam: while set, the calls above go to these instead of the session bus.
struct DesktopStatusHooks {
    std::function<void(double fraction, bool visible)> launcherProgress;
    std::function<void(const QString& summary, const QString& body)> notification;
};
void SetDesktopStatusHooksForTesting(DesktopStatusHooks hooks);

} // namespace platform
