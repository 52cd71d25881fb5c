// The process's current Mailbox and the operations that touch its lock.
#include "panel/Mailbox.h"

namespace {
std::mutex gCurrentMutex;
// Created by static initialisation, before the host calls any entry point.
std::shared_ptr<Mailbox> gMailbox = std::make_shared<Mailbox>();
}  // namespace

std::shared_ptr<Mailbox> ProcessMailbox() {
    std::lock_guard<std::mutex> lock(gCurrentMutex);
    return gMailbox;
}

void RenewProcessMailbox() {
    std::shared_ptr<Mailbox> fresh = std::make_shared<Mailbox>();
    std::shared_ptr<Mailbox> old;
    {
        std::lock_guard<std::mutex> lock(gCurrentMutex);
        old = gMailbox;
        gMailbox = std::move(fresh);
    }
    std::vector<PaletteFunction> dropped;
    {
        std::lock_guard<std::mutex> lock(old->mutex);
        old->closed = true;
        dropped.swap(old->queue);
    }
    // What was queued goes here, outside the lock, releasing what it holds.
}

bool IsClosed(Mailbox& mailbox) {
    std::lock_guard<std::mutex> lock(mailbox.mutex);
    return mailbox.closed;
}

void PostToHost(Mailbox& mailbox, PaletteFunction function) {
    {
        std::lock_guard<std::mutex> lock(mailbox.mutex);
        if (!mailbox.closed) {
            mailbox.queue.push_back(std::move(function));
            return;
        }
    }
    // Dropped outside the lock: its captures may be large or hold secrets.
    function = nullptr;
}

std::vector<PaletteFunction> TakeAll(Mailbox& mailbox) {
    std::vector<PaletteFunction> taken;
    std::lock_guard<std::mutex> lock(mailbox.mutex);
    taken.swap(mailbox.queue);
    return taken;
}
