// Simulated steady time.
#include "sim/host/SimClock.h"

#include <thread>

SimClock::SimClock() : start_(std::chrono::steady_clock::now()) {}

SteadyTime SimClock::Now() { return start_ + std::chrono::milliseconds(elapsedMs_.load()); }

void SimClock::Sleep(std::chrono::milliseconds duration) {
    Advance(duration);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void SimClock::Advance(std::chrono::milliseconds duration) { elapsedMs_.fetch_add(duration.count()); }

std::chrono::milliseconds SimClock::Elapsed() const { return std::chrono::milliseconds(elapsedMs_.load()); }

void SimClock::WorkStarted() { work_.fetch_add(1); }

void SimClock::WorkEnded() {
    int running = work_.load();
    while (running > 0 && !work_.compare_exchange_weak(running, running - 1)) {
    }
}

bool SimClock::WorkRunning() const { return work_.load() > 0; }
