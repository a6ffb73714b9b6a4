// Signalled events between the runner's threads, and the wait on several of them at once.
#pragma once

#include <cstddef>
#include <initializer_list>

// An event that one thread sets and another waits for. An automatic-reset event is reset by the
// wait that takes it; a manual-reset event stays set until ResetEvent. Setting a set event again
// changes nothing.
class TEvent
{
public:
    explicit TEvent(bool AManualReset);
    ~TEvent();
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void SetEvent();
    void ResetEvent();
    bool ManualReset() const { return FManualReset; }
    // A descriptor that polls readable while the event is set.
    int Handle() const { return FHandle; }

private:
    int FHandle;
    bool FManualReset;
};

// One object of a wait: an event, or any descriptor that polls readable when it is signalled
// (such as a process descriptor, which is readable once the process has ended).
struct TWaitObject {
    TWaitObject(TEvent& AEvent) : Handle(AEvent.Handle()), AutoReset(!AEvent.ManualReset()) {}
    explicit TWaitObject(int ADescriptor) : Handle(ADescriptor), AutoReset(false) {}
    int Handle;
    bool AutoReset;
};

constexpr int WAIT_TIMEOUT = -1;
constexpr int INFINITE = -1;

// Waits until one of the objects is signalled and returns the lowest signalled index, resetting
// that object when it is an automatic-reset event; WAIT_TIMEOUT after ATimeoutMs milliseconds
// (INFINITE waits for ever). Interrupted waits are resumed.
int WaitForMultipleObjects(std::initializer_list<TWaitObject> AObjects, int ATimeoutMs);
