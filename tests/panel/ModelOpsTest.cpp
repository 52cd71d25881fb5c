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

TEST(Pump, StandsStillWhileAModalDialogIsOpenOrACaptureWaitsForItsEventLoopCall) {
    Harness h;
    h.Post(Request("1", "listViews"));
    {
        const ModalDialogScope modal(h.palette().Pump());
        h.Idle(3);
        EXPECT_TRUE(h.page().Messages().empty());
    }
    h.Post(Request("c", "capture", R"({"viewId":"nav-unknown"})"));
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"1"});
    h.Post(Request("2", "listViews"));
    h.Idle(3);
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"1"}) << "the capture holds the pump";
    h.host().RunEventLoopCalls();
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"1", "c", "2"}));
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
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"queued"}) << "still queued, served at the next idle";
}

TEST(Pump, ContinuationsRunBeforeNewOperations) {
    Harness h;
    h.Post(Request("op", "listViews"));
    std::vector<std::string> order;
    h.palette().Pump().Continue({}, [&order](Palette&) { order.push_back("first"); });
    h.palette().Pump().Continue({}, [&order](Palette&) { order.push_back("second"); });
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
    h.host().Advance(std::chrono::milliseconds(2400));
    h.Idle(5);
    EXPECT_TRUE(h.page().Messages().empty());
    h.host().Advance(std::chrono::milliseconds(100));
    h.Idle();
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
        p.Pump().Drain(p, true);  // nested: must not run the function just posted
    });
    PostToHost(*ProcessMailbox(), [&order](Palette&) { order.push_back(2); });
    h.palette().Pump().Drain(h.palette(), false);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    h.palette().Pump().Drain(h.palette(), false);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

size_t LogCount(const Harness& h, const std::string& line) {
    const std::string log = ReadFileText(h.folders().dataFolder() / "host.log");
    size_t count = 0;
    for (size_t at = 0; (at = log.find(line + "\r\n", at)) != std::string::npos; ++at) ++count;
    return count;
}

// A posted function that throws (a reply too large to build) is caught at the host's call-back and
// logged; the request it served is answered "internal"; the rest of its batch runs at the next
// call-back, ahead of what was posted since; the drain is not lost to a "draining" left set.
TEST(Barrier, AFunctionThatThrowsAnswersItsRequestAndTheRestOfTheBatchRunsNextAheadOfLaterPosts) {
    Harness h;
    std::vector<int> order;
    PostToHost(*ProcessMailbox(), [&order](Palette&) { order.push_back(1); });
    PostToHost(*ProcessMailbox(), RequestTag{"big", h.palette().MessageLoad(), false},
               [](Palette&) { throw std::bad_alloc(); });
    PostToHost(*ProcessMailbox(), [&order](Palette&) { order.push_back(2); });
    PostToHost(*ProcessMailbox(), [&order](Palette&) { order.push_back(3); });
    EXPECT_NO_THROW(h.host().Idle());
    EXPECT_EQ(order, std::vector<int>{1});
    ASSERT_NE(h.OnlyReplyTo("big"), nullptr);
    EXPECT_NE(h.OnlyReplyTo("big")->json.find(R"("code":"internal")"), std::string::npos);
    EXPECT_EQ(LogCount(h, "call-back failed: idle"), 1u);

    PostToHost(*ProcessMailbox(), [&order](Palette&) { order.push_back(4); });
    h.host().Idle();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4})) << "the rest first, the thrower not again";
    h.Post(Request("after", "getState"));
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"big", "after"}));
}

// A sign-out has happened before anything can fail: its answer is ok {} on every path.
TEST(Barrier, AFailedRequestThatIsAnsweredOkOnEveryPathIsAnsweredOk) {
    Harness h;
    PostToHost(*ProcessMailbox(), RequestTag{"out", h.palette().MessageLoad(), true}, [](Palette&) { throw 7; });
    h.host().Idle();
    ASSERT_NE(h.OnlyReplyTo("out"), nullptr);
    EXPECT_EQ(h.OnlyReplyTo("out")->json, R"({"id":"out","ok":true,"result":{}})");
}

// Work that answered its request, or handed it on, before it threw is not answered again.
TEST(Barrier, AnAnsweredRequestIsNotAnsweredAgainWhenItsWorkThrowsAfterwards) {
    Harness h;
    PostToHost(*ProcessMailbox(), RequestTag{"done", h.palette().MessageLoad(), false}, [](Palette& p) {
        ReplyOk(p, "done", "{}");
        throw 7;
    });
    h.host().Idle();
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"done"});
    EXPECT_EQ(LogCount(h, "call-back failed: idle"), 1u);
}

// The module command's calls: one that throws answers its request; the next wait for the next
// call-back, and the modal dialog's flag is not left set by a dialog that threw.
TEST(Barrier, AnEventLoopCallThatThrowsLeavesTheOthersForTheNextCallBack) {
    Harness h;
    Palette& p = h.palette();
    std::vector<int> order;
    p.Pump().CallFromEventLoop(p, RequestTag{"e", p.MessageLoad(), false}, [](Palette&) { throw 1; });
    p.Pump().CallFromEventLoop(p, {}, [&order](Palette&) { order.push_back(1); });
    h.host().RunEventLoopCalls();
    EXPECT_TRUE(order.empty());
    EXPECT_NE(h.OnlyReplyTo("e")->json.find(R"("code":"internal")"), std::string::npos);
    EXPECT_EQ(LogCount(h, "call-back failed: module command"), 1u);
    p.Pump().CallFromEventLoop(p, {}, [&order](Palette&) { order.push_back(2); });
    h.host().RunEventLoopCalls();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));

    try {
        const ModalDialogScope modal(p.Pump());
        throw 1;
    } catch (int) {
    }
    EXPECT_FALSE(p.Pump().ModalOpen());
}

TEST(EventLoopCall, ACaptureWaitsForTheHostsCallBack) {
    Harness h;
    // Views no listing registered: each is refused from its event-loop call.
    h.Post(Request("c1", "capture", R"({"viewId":"nav-unknown"})"));
    h.Post(Request("c2", "capture", R"({"viewId":"nav-unknown"})"));
    h.Idle();
    EXPECT_EQ(h.host().pendingEventLoopCalls, 1);
    h.Idle(3);
    EXPECT_TRUE(h.page().Messages().empty()) << "the second capture waits for the first";
    EXPECT_EQ(h.host().eventLoopCallsRequested, 1);
    h.host().RunEventLoopCalls();
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"c1"});
    h.Idle();
    EXPECT_EQ(h.host().pendingEventLoopCalls, 1);
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
    h.Post(Request("c2", "capture"));
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"c", "c2"})) << "nothing is left waiting";
}

TEST(EventLoopCall, OneRequestServesEveryFunctionWaitingForIt) {
    Harness h;
    Palette& p = h.palette();
    std::vector<int> order;
    p.Pump().CallFromEventLoop(p, {}, [&order](Palette&) { order.push_back(1); });
    p.Pump().CallFromEventLoop(p, {}, [&order](Palette&) { order.push_back(2); });
    EXPECT_EQ(h.host().eventLoopCallsRequested, 1);
    h.host().RunEventLoopCalls();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_TRUE(p.Pump().Empty());
}

}  // namespace
