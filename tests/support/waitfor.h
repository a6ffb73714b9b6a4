// A bounded wait for the tests: lets the event loop run until `done` holds or the time is up.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace testenv
{

// Processes events until `done` holds; false when `timeoutMs` passes first.
template <typename Condition> bool WaitFor(Condition done, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

} // namespace testenv
