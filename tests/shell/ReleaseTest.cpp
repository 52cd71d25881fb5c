// Releasing the add-on: the palette goes, workers get about three seconds, the palette is
// unregistered, and nothing queued is answered afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "panel/Replies.h"
#include "panel/Worker.h"
#include "shell/Shell.h"
#include "support/Harness.h"

namespace {

void WaitForWorkers() {
    while (ProcessMailbox()->workers.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(Release, WithNoPaletteOnlyUnregisters) {
    Harness h(false);
    const auto before = h.host().clock.Elapsed();
    EXPECT_EQ(h.host().Release(), kHostOk);
    EXPECT_EQ(h.host().clock.Elapsed(), before);
    EXPECT_EQ(h.host().unregisteredPalettes, std::vector<int32_t>{static_cast<int32_t>(0xA43500FCu)});
}

TEST(Release, DestroysThePaletteAndStopsItsTimerAndNativeObjects) {
    Harness h;
    ScriptedPage* page = h.host().Page();
    EXPECT_TRUE(page->HasNativeObject("TamselAC"));
    EXPECT_TRUE(page->HasNativeObject("ACAPI"));
    EXPECT_EQ(h.host().windows.ActiveTimers(), 1u);
    EXPECT_EQ(h.host().Release(), kHostOk);
    EXPECT_EQ(CurrentPalette(), nullptr);
    EXPECT_EQ(LivePalette(), nullptr);
    EXPECT_EQ(h.host().Palette(), nullptr) << "the host's window was destroyed with the palette";
    EXPECT_EQ(h.host().windows.ActiveTimers(), 0u);
    EXPECT_FALSE(h.host().paletteRegistered);
}

TEST(Release, GivesUpOnAWorkerThatKeepsRunningAfterAboutThreeSeconds) {
    Harness h;
    std::atomic<bool> finish{false};
    StartWorker(
        h.palette(),
        [&finish]() -> PaletteFunction {
            while (!finish.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return [](Palette&) {};
        },
        nullptr);
    const std::shared_ptr<Mailbox> released = ProcessMailbox();
    const auto before = h.host().clock.Elapsed();
    EXPECT_EQ(h.host().Release(), kHostOk);
    EXPECT_EQ(h.host().clock.Elapsed() - before, std::chrono::milliseconds(3000));
    EXPECT_EQ(released->workers.load(), 1);
    EXPECT_FALSE(h.host().paletteRegistered);
    EXPECT_NE(ProcessMailbox(), released) << "a later load starts with a Mailbox of its own";
    finish = true;
    while (released->workers.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The late completion went into the closed Mailbox and was dropped; nothing reaches the new one.
    EXPECT_TRUE(TakeAll(*released).empty());
    EXPECT_TRUE(TakeAll(*ProcessMailbox()).empty());
}

TEST(Release, StopsWaitingAsSoonAsTheWorkersAreDone) {
    Harness h;
    StartWorker(
        h.palette(), []() -> PaletteFunction { return nullptr; }, nullptr);
    WaitForWorkers();
    const auto before = h.host().clock.Elapsed();
    h.host().Release();
    EXPECT_EQ(h.host().clock.Elapsed(), before);
}

TEST(Release, QueuedRequestsAndPostedFunctionsAreNeverRun) {
    bool ran = false;
    {
        Harness h;
        h.Post(Request("queued", "listViews"));
        PostToHost(*ProcessMailbox(), [&ran](Palette&) { ran = true; });
        h.host().Release();
    }
    // A later load of the add-on in the same process starts with an empty Mailbox.
    Harness next;
    next.Idle(3);
    next.host().Advance(std::chrono::milliseconds(300));
    EXPECT_FALSE(ran);
    EXPECT_TRUE(next.page().Messages().empty());
}

}  // namespace
