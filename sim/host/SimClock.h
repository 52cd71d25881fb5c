// Simulated steady time: starts at the real clock's reading and moves only when told to.
#pragma once
#include <atomic>
#include <chrono>

#include "platform/Clock.h"

class SimClock final : public ClockProvider {
public:
    SimClock();
    SteadyTime Now() override;
    // Sleeping advances simulated time and yields, so real worker threads get to run.
    void Sleep(std::chrono::milliseconds duration) override;
    void Advance(std::chrono::milliseconds duration);
    std::chrono::milliseconds Elapsed() const;
    // The add-on's workers report here; the loop of `tamsel-sim --run-for` holds time still while
    // one runs. A worker of an earlier session ending under this clock counts for nothing.
    void WorkStarted() override;
    void WorkEnded() override;
    bool WorkRunning() const;

private:
    const SteadyTime start_;
    std::atomic<int64_t> elapsedMs_{0};
    std::atomic<int> work_{0};
};
