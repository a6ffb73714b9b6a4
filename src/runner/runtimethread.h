// TRuntimeThread: a thread object in the manner of the runtime's thread class. The derived class
// starts it at the end of its constructor and waits for it in its destructor. No event loop or
// event dispatcher is made for it, which keeps the start of a run cheap.
#pragma once

#include <QObject>
#include <condition_variable>
#include <mutex>
#include <thread>

class TRuntimeThread : public QObject
{
    Q_OBJECT

public:
    ~TRuntimeThread() override;

    // Waits until Execute has returned; false when ATimeoutMs (-1: no limit) ran out first.
    bool WaitFor(int ATimeoutMs = -1);

protected:
    TRuntimeThread() = default;
    // Runs Execute on a new thread named AName for debuggers.
    void Start(const char* AName);
    virtual void Execute() = 0;

private:
    std::thread FThread;
    std::mutex FLock;
    std::condition_variable FEnded;
    bool FFinished = false;
};
