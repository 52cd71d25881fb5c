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

private:
    const SteadyTime start_;
    std::atomic<int64_t> elapsedMs_{0};
};
