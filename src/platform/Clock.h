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
};

SteadyTime SteadyNow();
void SleepFor(std::chrono::milliseconds duration);
// nullptr restores the real clock.
void InstallClockProvider(ClockProvider* provider);
