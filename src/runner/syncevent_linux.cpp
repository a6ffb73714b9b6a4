#include "syncevent.h"

#include "platform/oserror.h"

#include <QString>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

TEvent::TEvent(bool AManualReset) : FManualReset(AManualReset)
{
    FHandle = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (FHandle < 0)
        platform::RaiseOSError(errno, QStringLiteral("eventfd"));
}

TEvent::~TEvent()
{
    ::close(FHandle);
}

void TEvent::SetEvent()
{
    const std::uint64_t one = 1;
    // The counter only overflows after 2^64 - 2 sets; a full counter is as set as it gets.
    while (::write(FHandle, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TEvent::ResetEvent()
{
    std::uint64_t value;
    while (::read(FHandle, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

int WaitForMultipleObjects(std::initializer_list<TWaitObject> AObjects, int ATimeoutMs)
{
    std::vector<pollfd> fds;
    fds.reserve(AObjects.size());
    for (const TWaitObject& object : AObjects)
        fds.push_back({object.Handle, POLLIN, 0});
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ATimeoutMs);
    for (;;) {
        int timeout = INFINITE;
        if (ATimeoutMs != INFINITE) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = static_cast<int>(std::max<std::int64_t>(0, left.count()));
        }
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            platform::RaiseOSError(errno, QStringLiteral("poll"));
        }
        if (ready == 0)
            return WAIT_TIMEOUT;
        int index = 0;
        for (const TWaitObject& object : AObjects) {
            if (fds[index].revents != 0) {
                if (!object.AutoReset)
                    return index;
                std::uint64_t value;
                if (::read(object.Handle, &value, sizeof value) == sizeof value)
                    return index;
                // Another waiter took it first: it is no longer set for us.
            }
            ++index;
        }
    }
}
