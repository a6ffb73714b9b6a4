// Timing helpers the benchmarks share.
#pragma once

#include <QElapsedTimer>
#include <algorithm>
#include <functional>

// The fastest of `rounds` measurements, in seconds: the one least disturbed by the rest of the
// machine.
inline double BestOf(int rounds, const std::function<double()>& measure)
{
    double best = 1e300;
    for (int round = 0; round < rounds; ++round)
        best = std::min(best, measure());
    return best;
}

inline double Seconds(const QElapsedTimer& clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}
