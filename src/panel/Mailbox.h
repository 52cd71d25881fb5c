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

// One per loaded session of the add-on, held through a shared pointer; every worker holds a
// copy, so the Mailbox outlives the palette. `mutex` guards `queue` and `closed` only and is
// never held while a function runs.
struct Mailbox {
    std::mutex mutex;
    std::vector<PaletteFunction> queue;
    // Set when the add-on is released: later posts are dropped, never run.
    bool closed = false;
    // Worker threads started and not yet finished.
    std::atomic<int32_t> workers{0};
};

// The current Mailbox, created by static initialisation. Callable from any thread.
std::shared_ptr<Mailbox> ProcessMailbox();

// Closes the current Mailbox, dropping what it holds, and puts a fresh one in its place, so that
// a worker finishing after the add-on was released never reaches a palette opened later. Host
// thread, at release.
void RenewProcessMailbox();

// True once the add-on was released. Callable from any thread.
bool IsClosed(Mailbox& mailbox);

// Appends a function for the host thread; a closed Mailbox drops it. Callable from any thread.
void PostToHost(Mailbox& mailbox, PaletteFunction function);

// Moves the whole queue out under the lock, leaving it empty.
std::vector<PaletteFunction> TakeAll(Mailbox& mailbox);
