#include "processtimer.h"

#include "runner/runnertypes.h"

#include <QTimer>

TProcessTimer::TProcessTimer(int AIntervalMs) : FTimer(new QTimer(this))
{
    FTimer->setInterval(AIntervalMs);
    FTimer->setTimerType(Qt::PreciseTimer); // a coarse one may tick early, and limits are strict
    connect(FTimer, &QTimer::timeout, this, &TProcessTimer::Tick);
}

TProcessTimer::~TProcessTimer()
{
    FTimer->stop();
}

void TProcessTimer::SetEnabled(bool AValue)
{
    if (AValue == FEnabled)
        return;
    FEnabled = AValue;
    if (AValue) {
        FTimer->start();
        // A refused timer gets no identifier.
        if (FTimer->timerId() <= 0) {
            FEnabled = false;
            throw EProcessTimer(QStringLiteral("could not start timer"));
        }
    } else {
        FTimer->stop();
        if (FTimer->isActive())
            throw EProcessTimer(QStringLiteral("could not kill timer"));
    }
}

std::int32_t TProcessTimer::SinceBeginning() const
{
    std::lock_guard lock(FCriticalSection);
    return FSinceBeginning.load();
}

std::int32_t TProcessTimer::SinceLastOutput() const
{
    std::lock_guard lock(FCriticalSection);
    return FSinceLastOutput.load();
}

void TProcessTimer::Beginning()
{
    FSinceBeginning = 0;
    FSinceLastOutput = 0;
    SetEnabled(true);
}

void TProcessTimer::NewOutput()
{
    std::lock_guard lock(FCriticalSection);
    FSinceLastOutput = 0;
}

void TProcessTimer::Tick()
{
    ++FSinceBeginning;
    ++FSinceLastOutput;
    FEvent.SetEvent();
}
