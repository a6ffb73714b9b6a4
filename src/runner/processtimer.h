// TProcessTimer: counts the seconds since a run began and since the child's last completed output
// line, and sets an event at every count so that the runner's worker checks its time limits.
#pragma once

#include "runner/syncevent.h"

#include <QObject>
#include <atomic>
#include <cstdint>
#include <mutex>

class QTimer;

// The counting runs on the thread that enables the timer (the user-interface thread) and so only
// while that thread processes its events; the counters count delivered ticks.
class TProcessTimer : public QObject
{
    Q_OBJECT

public:
    explicit TProcessTimer(int AIntervalMs = 1000);
    ~TProcessTimer() override;

    bool Enabled() const { return FEnabled; }
    // Raises EProcessTimer "could not start timer" or "could not kill timer".
    void SetEnabled(bool AValue);
    TEvent& Event() { return FEvent; }
    std::int32_t SinceBeginning() const;
    std::int32_t SinceLastOutput() const;

    // Both counters to 0, then enabled; a timer that is still enabled keeps its one schedule.
    void Beginning();
    void Ending() { SetEnabled(false); }
    // Only the count since the last output starts again; called by the worker.
    void NewOutput();
    // One count: both counters up by one, then the event set.
    void Tick();

private:
    mutable std::recursive_mutex FCriticalSection;
    bool FEnabled = false;
    TEvent FEvent{false};
    QTimer* FTimer;
    std::atomic<std::int32_t> FSinceBeginning{0};
    std::atomic<std::int32_t> FSinceLastOutput{0};
};
