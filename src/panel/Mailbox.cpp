// The process-wide Mailbox and the two operations that touch its lock.
#include "panel/Mailbox.h"

namespace {
// Created by static initialisation, before the host calls any entry point.
const std::shared_ptr<Mailbox> gMailbox = std::make_shared<Mailbox>();
}  // namespace

const std::shared_ptr<Mailbox>& ProcessMailbox() { return gMailbox; }

void PostToHost(Mailbox& mailbox, PaletteFunction function) {
    std::lock_guard<std::mutex> lock(mailbox.mutex);
    mailbox.queue.push_back(std::move(function));
}

std::vector<PaletteFunction> TakeAll(Mailbox& mailbox) {
    std::vector<PaletteFunction> taken;
    std::lock_guard<std::mutex> lock(mailbox.mutex);
    taken.swap(mailbox.queue);
    return taken;
}
