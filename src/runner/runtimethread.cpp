#include "runtimethread.h"

#include <chrono>
#include <pthread.h>

TRuntimeThread::~TRuntimeThread()
{
    WaitFor();
}

void TRuntimeThread::Start(const char* AName)
{
    FThread = std::thread([this, AName] {
        ::pthread_setname_np(::pthread_self(), AName);
        Execute();
        {
            std::lock_guard lock(FLock);
            FFinished = true;
        }
        FEnded.notify_all();
    });
}

bool TRuntimeThread::WaitFor(int ATimeoutMs)
{
    if (!FThread.joinable())
        return true; // never started, or waited for already
    {
        std::unique_lock lock(FLock);
        if (ATimeoutMs < 0)
            FEnded.wait(lock, [this] { return FFinished; });
        else if (!FEnded.wait_for(lock, std::chrono::milliseconds(ATimeoutMs),
                                  [this] { return FFinished; }))
            return false;
    }
    FThread.join();
    return true;
}
