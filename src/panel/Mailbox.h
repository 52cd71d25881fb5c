// The Mailbox: functions that worker and browser threads post for the host thread to run.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "panel/RequestTag.h"

class Palette;

using PaletteFunction = std::function<void(Palette&)>;

// A function for the host thread and the request it serves (an empty id for events).
struct HostTask {
    RequestTag tag;
    PaletteFunction run;
};

// One per loaded session of the add-on, held through a shared pointer; every worker holds a
// copy, so the Mailbox outlives the palette. `mutex` guards `queue` and `closed` only and is
// never held while a function runs.
struct Mailbox {
    std::mutex mutex;
    std::vector<HostTask> queue;
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

// True when no worker runs and nothing is posted. Callable from any thread.
bool IsIdle(Mailbox& mailbox);

// Appends a function for the host thread, serving the tagged request or, untagged, an event; a
// closed Mailbox drops it. Callable from any thread.
void PostToHost(Mailbox& mailbox, RequestTag tag, PaletteFunction function);
void PostToHost(Mailbox& mailbox, PaletteFunction function);

// Moves the whole queue out under the lock, leaving it empty.
std::vector<HostTask> TakeAll(Mailbox& mailbox);

// Puts tasks back at the front of the queue, ahead of anything posted since they were taken, in
// their order; a closed Mailbox drops them.
void PutBack(Mailbox& mailbox, std::vector<HostTask> tasks);
