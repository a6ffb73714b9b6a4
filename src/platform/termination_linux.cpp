#include "termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform
{

namespace
{

// A signal handler may do next to nothing; it writes one byte that the event loop then reads.
int wakeFds[2] = {-1, -1};

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFds[1], &byte, 1);
    errno = saved;
}

std::function<void()>& terminationHandler()
{
    static std::function<void()> handler;
    return handler;
}

} // namespace

void OnTerminationRequest(std::function<void()> handler)
{
    terminationHandler() = std::move(handler);
    if (wakeFds[0] >= 0)
        return;
    if (::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    // Owned by the application object, so that it goes before the event loop does.
    auto* notifier =
        new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[16];
        while (::read(wakeFds[0], bytes, sizeof bytes) > 0) {
        }
        if (terminationHandler())
            terminationHandler()();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace platform
