#include "shell.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>

namespace platform
{

namespace
{

ShellHooks& hooks()
{
    static ShellHooks instance;
    return instance;
}

// How long an opener may take to report a failure. One that runs longer has opened something and
// waits for it to close, as xdg-open does on desktops it does not know; what it reports when that
// closes says nothing about the opening.
constexpr qint64 openerVerdictMs = 10000;

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

void ShellOpen(const QUrl& url, const QObject* context, std::function<void()> failed)
{
    if (hooks().open) {
        if (!hooks().open(url))
            failed();
        return;
    }
    // QDesktopServices starts xdg-open and calls that success, whatever xdg-open then finds; only
    // its exit status tells whether anything opened.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        // Qt still knows a few other ways: $BROWSER, a desktop's own opener.
        if (!QDesktopServices::openUrl(url))
            failed();
        return;
    }
    // Parented to the application, not to `context`: a window that closes at once must not kill
    // the opener before it has opened anything.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(opener);
    process->setArguments(
        {url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
    // No pipes: a program the opener starts must not hold descriptors of ours.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    QObject::connect(process, &QProcess::finished, context,
                     [clock, failed](int exitCode, QProcess::ExitStatus status) {
                         if ((status != QProcess::NormalExit || exitCode != 0) &&
                             clock.elapsed() < openerVerdictMs)
                             failed();
                     });
    QObject::connect(process, &QProcess::errorOccurred, context,
                     [failed](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             failed();
                     });
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             process->deleteLater();
                     });
    process->start();
}

void ShellOpenFile(const QString& path, const QObject* context, std::function<void()> failed)
{
    ShellOpen(QUrl::fromLocalFile(path), context, std::move(failed));
}

void ShowFileProperties(const QString& path, const QObject* context, std::function<void()> failed)
{
    if (hooks().properties) {
        if (!hooks().properties(path))
            failed();
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        failed();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItemProperties"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // Without a file manager on the bus the answer is an error, and it comes at once.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [failed](QDBusPendingCallWatcher* answer) {
                         if (answer->isError())
                             failed();
                     });
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, &QObject::deleteLater);
}

bool StartDetached(const QString& program, const QStringList& arguments)
{
    if (hooks().startDetached)
        return hooks().startDetached(program, arguments);
    return QProcess::startDetached(program, arguments);
}

} // namespace platform
