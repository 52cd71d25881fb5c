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
    std::vector<HostTask> dropped;
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

bool IsIdle(Mailbox& mailbox) {
    if (mailbox.workers.load() > 0) return false;
    std::lock_guard<std::mutex> lock(mailbox.mutex);
    return mailbox.queue.empty();
}

void PostToHost(Mailbox& mailbox, RequestTag tag, PaletteFunction function) {
    HostTask task{std::move(tag), std::move(function)};
    {
        std::lock_guard<std::mutex> lock(mailbox.mutex);
        if (!mailbox.closed) {
            mailbox.queue.push_back(std::move(task));
            return;
        }
    }
    // Dropped outside the lock: its captures may be large or hold secrets.
    task.run = nullptr;
}

void PostToHost(Mailbox& mailbox, PaletteFunction function) { PostToHost(mailbox, RequestTag{}, std::move(function)); }

std::vector<HostTask> TakeAll(Mailbox& mailbox) {
    std::vector<HostTask> taken;
    std::lock_guard<std::mutex> lock(mailbox.mutex);
    taken.swap(mailbox.queue);
    return taken;
}

void PutBack(Mailbox& mailbox, std::vector<HostTask> tasks) {
    {
        std::lock_guard<std::mutex> lock(mailbox.mutex);
        if (!mailbox.closed) {
            for (HostTask& task : mailbox.queue) tasks.push_back(std::move(task));
            mailbox.queue.swap(tasks);
        }
    }
    // What a closed Mailbox did not take, or what it held before, goes here, outside the lock.
}
