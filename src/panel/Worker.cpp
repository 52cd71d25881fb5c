// The one way the add-on starts a worker thread.
#include "panel/Worker.h"

#include "panel/Palette.h"
#include "platform/Clock.h"
#include "platform/Threads.h"

void StartWorker(Palette& palette, WorkerBody body, PaletteFunction onError) {
    std::shared_ptr<Mailbox> mailbox = ProcessMailbox();
    RequestTag tag = palette.HandOff();
    mailbox->workers.fetch_add(1);
    ClockWorkStarted();
    const bool started = StartDetachedThread([mailbox, tag, body = std::move(body), onError]() mutable {
        PaletteFunction completion;
        try {
            completion = body();
        } catch (...) {
            completion = onError;
        }
        if (completion) PostToHost(*mailbox, tag, std::move(completion));
        ClockWorkEnded();
        mailbox->workers.fetch_sub(1);
    });
    if (!started) {
        ClockWorkEnded();
        mailbox->workers.fetch_sub(1);
        if (onError) onError(palette);
    }
}
