// The steady clock: the real one, or the installed provider.
#include "platform/Clock.h"

#include <atomic>
#include <thread>

namespace {
std::atomic<ClockProvider*> gClock{nullptr};
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
    if (ClockProvider* c = gClock.load(std::memory_order_acquire)) c->WorkStarted();
}

void ClockWorkEnded() {
    if (ClockProvider* c = gClock.load(std::memory_order_acquire)) c->WorkEnded();
}

void InstallClockProvider(ClockProvider* provider) { gClock.store(provider, std::memory_order_release); }
