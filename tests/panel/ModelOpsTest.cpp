// The model-operation pump, the Mailbox drain and the host's event-loop call.
#include <gtest/gtest.h>

#include <new>

#include "panel/ModelOps.h"
#include "panel/Replies.h"
#include "support/Harness.h"

namespace {

TEST(Pump, AdvancesOneQueuedOperationPerIdleNotification) {
    Harness h;
    h.Post(Request("1", "listViews"));
    h.Post(Request("2", "place"));
    h.Post(Request("3", "saveFiles"));
    EXPECT_TRUE(h.page().Messages().empty());
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"1"});
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"1", "2"}));
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"1", "2", "3"}));
}

TEST(Pump, StandsStillWhileAModalDialogIsOpenOrACaptureIsInFlight) {
    Harness h;
    h.Post(Request("1", "listViews"));
    h.palette().modalOpen = true;
    h.Idle(3);
    EXPECT_TRUE(h.page().Messages().empty());
    h.palette().modalOpen = false;
    h.palette().captureInFlight = true;
    h.Idle(3);
    EXPECT_TRUE(h.page().Messages().empty());
    h.palette().captureInFlight = false;
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"1"});
}

TEST(Pump, TheTimerDrainsTheMailboxButNeverAdvancesModelOperations) {
    Harness h;
    h.Post(Request("queued", "listViews"));
    int ran = 0;
    PostToHost(*ProcessMailbox(), [&ran](Palette&) { ++ran; });
    h.host().Advance(std::chrono::milliseconds(99));
    EXPECT_EQ(ran, 0);
    h.host().Advance(std::chrono::milliseconds(1));
    EXPECT_EQ(ran, 1);
    h.host().Advance(std::chrono::milliseconds(1000));
    EXPECT_TRUE(h.page().Messages().empty());
    EXPECT_EQ(h.palette().modelOps.size(), 1u);
}

TEST(Pump, ContinuationsRunBeforeNewOperations) {
    Harness h;
    h.Post(Request("op", "listViews"));
    std::vector<std::string> order;
    h.palette().continuations.push_back([&order](Palette&) { order.push_back("first"); });
    h.palette().continuations.push_back([&order](Palette&) { order.push_back("second"); });
    h.Idle();
    EXPECT_EQ(order, std::vector<std::string>{"first"});
    h.Idle();
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(h.page().Messages().empty());
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"op"});
}

TEST(Pump, APendingCaptureHoldsEverythingUntilItsDeadline) {
    Harness h;
    h.Post(Request("capture", "capture", R"({"viewId":"current"})"));
    h.Idle();
    h.host().RunEventLoopCalls();  // the plan is in front: the 3D window is opened and given 2.5 s
    h.Post(Request("after", "listViews"));
    Palette& p = h.palette();
    EXPECT_TRUE(p.capturePending);
    h.host().Advance(std::chrono::milliseconds(2400));
    h.Idle(5);
    EXPECT_TRUE(p.capturePending);
    EXPECT_TRUE(h.page().Messages().empty());
    h.host().Advance(std::chrono::milliseconds(100));
    h.Idle();
    EXPECT_FALSE(p.capturePending) << "the picture is taken on the first run at the deadline";
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"capture"}) << "and nothing else advances in that run";
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"capture", "after"}));
}

TEST(Drain, RunsPostedFunctionsInOrderAndADrainInsideADrainDoesNothing) {
    Harness h;
    std::vector<int> order;
    PostToHost(*ProcessMailbox(), [&order](Palette& p) {
        order.push_back(1);
        PostToHost(*ProcessMailbox(), [&order](Palette&) { order.push_back(3); });
        DrainMailbox(p, true);  // nested: must not run the function just posted
        EXPECT_TRUE(p.draining);
    });
    PostToHost(*ProcessMailbox(), [&order](Palette&) { order.push_back(2); });
    DrainMailbox(h.palette(), false);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_FALSE(h.palette().draining);
    DrainMailbox(h.palette(), false);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

// A posted function that throws (a reply too large to build) is logged; the others of its batch
// still run, and the next drain is not lost to a "draining" left set.
TEST(Drain, AFunctionThatThrowsIsLoggedAndTheRestOfTheBatchAndLaterDrainsStillRun) {
    Harness h;
    std::vector<int> order;
    PostToHost(*ProcessMailbox(), [&order](Palette&) { order.push_back(1); });
    PostToHost(*ProcessMailbox(), [](Palette&) { throw std::bad_alloc(); });
    PostToHost(*ProcessMailbox(), [](Palette&) { throw 7; });
    PostToHost(*ProcessMailbox(), [&order](Palette&) { order.push_back(2); });
    EXPECT_NO_THROW(DrainMailbox(h.palette(), true));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_FALSE(h.palette().draining);
    const std::string log = ReadFileText(h.folders().dataFolder() / "host.log");
    size_t failures = 0;
    for (size_t at = 0; (at = log.find("posted function failed\r\n", at)) != std::string::npos; ++at) ++failures;
    EXPECT_EQ(failures, 2u);

    // Replies still reach the page afterwards.
    h.Post(Request("after", "getState"));
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"after"});
}

TEST(EventLoopCall, ACaptureWaitsForTheHostsCallBack) {
    Harness h;
    // Views no listing registered: each is refused from its event-loop call.
    h.Post(Request("c1", "capture", R"({"viewId":"nav-unknown"})"));
    h.Post(Request("c2", "capture", R"({"viewId":"nav-unknown"})"));
    h.Idle();
    Palette& p = h.palette();
    EXPECT_TRUE(p.captureInFlight);
    EXPECT_TRUE(p.eventLoopCallPending);
    EXPECT_EQ(h.host().pendingEventLoopCalls, 1);
    h.Idle(3);
    EXPECT_TRUE(h.page().Messages().empty()) << "the second capture waits for the first";
    EXPECT_EQ(h.host().eventLoopCallsRequested, 1);
    h.host().RunEventLoopCalls();
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"c1"});
    EXPECT_FALSE(p.captureInFlight);
    EXPECT_FALSE(p.eventLoopCallPending);
    h.Idle();
    EXPECT_TRUE(p.captureInFlight);
    h.host().RunEventLoopCalls();
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"c1", "c2"}));
    EXPECT_EQ(h.host().eventLoopCallsRequested, 2);
}

TEST(EventLoopCall, WhenTheHostRefusesTheCallsRunAtOnce) {
    Harness h;
    h.host().refuseEventLoopCalls = kHostErrRefused;
    h.Post(Request("c", "capture"));
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"c"});
    EXPECT_FALSE(h.palette().captureInFlight);
    EXPECT_FALSE(h.palette().eventLoopCallPending);
}

TEST(EventLoopCall, OneRequestServesEveryFunctionWaitingForIt) {
    Harness h;
    Palette& p = h.palette();
    std::vector<int> order;
    RequestEventLoopCall(p);
    EXPECT_EQ(h.host().eventLoopCallsRequested, 0) << "nothing waits, so nothing is asked";
    p.eventLoopCalls.push_back([&order](Palette&) { order.push_back(1); });
    RequestEventLoopCall(p);
    p.eventLoopCalls.push_back([&order](Palette&) { order.push_back(2); });
    RequestEventLoopCall(p);
    EXPECT_EQ(h.host().eventLoopCallsRequested, 1);
    h.host().RunEventLoopCalls();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_TRUE(p.eventLoopCalls.empty());
}

}  // namespace
