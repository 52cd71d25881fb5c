// The steady clock: the real one, or the installed provider.
#include "platform/Clock.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace {
std::atomic<ClockProvider*> gClock{nullptr};
// Workers report to the provider from their own threads, possibly as the host takes its provider
// away: the report and the change of provider never overlap, so no report reaches a provider
// after InstallClockProvider has replaced it.
std::mutex gWorkReports;
}

SteadyTime SteadyNow() {
    ClockProvider* c = gClock.load(std::memory_order_acquire);
    return c ? c->Now() : std::chrono::steady_clock::now();
}

void SleepFor(std::chrono::milliseconds duration) {
    ClockProvider* c = gClock.load(std::memory_order_acquire);
    if (c)
        c->Sleep(duration);
    else
        std::this_thread::sleep_for(duration);
}

void ClockWorkStarted() {
    std::lock_guard<std::mutex> lock(gWorkReports);
    if (ClockProvider* c = gClock.load(std::memory_order_acquire)) c->WorkStarted();
}

void ClockWorkEnded() {
    std::lock_guard<std::mutex> lock(gWorkReports);
    if (ClockProvider* c = gClock.load(std::memory_order_acquire)) c->WorkEnded();
}

void InstallClockProvider(ClockProvider* provider) {
    std::lock_guard<std::mutex> lock(gWorkReports);
    gClock.store(provider, std::memory_order_release);
}
