// The steady clock and sleeping, swappable so a simulated host can drive time.
// Thread-safe: any thread may read the clock or sleep.
#pragma once
#include <chrono>

using SteadyTime = std::chrono::steady_clock::time_point;

class ClockProvider {
public:
    virtual ~ClockProvider() = default;
    virtual SteadyTime Now() = 0;
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
    // A worker thread began or ended its work; a simulated clock can hold still while work runs,
    // so that a save or a download finishes before simulated time moves on.
    virtual void WorkStarted() {}
    virtual void WorkEnded() {}
};

SteadyTime SteadyNow();
void SleepFor(std::chrono::milliseconds duration);
// Tell the installed provider, if any, that a worker began or ended.
void ClockWorkStarted();
void ClockWorkEnded();
// nullptr restores the real clock.
void InstallClockProvider(ClockProvider* provider);
