// The Mailbox: functions that worker and browser threads post for the host thread to run.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class Palette;

using PaletteFunction = std::function<void(Palette&)>;

// One per process, created at load time and held through a shared pointer; every worker
// holds a copy, so the Mailbox outlives the palette. `mutex` guards `queue` only and is never
// held while a function runs.
struct Mailbox {
    std::mutex mutex;
    std::vector<PaletteFunction> queue;
    // Worker threads started and not yet finished.
    std::atomic<int32_t> workers{0};
};

const std::shared_ptr<Mailbox>& ProcessMailbox();

// Appends a function for the host thread. Callable from any thread.
void PostToHost(Mailbox& mailbox, PaletteFunction function);

// Moves the whole queue out under the lock, leaving it empty.
std::vector<PaletteFunction> TakeAll(Mailbox& mailbox);
