// A project change: the host's notification takes effect at the next host call-back, whichever
// it is; queued model operations are answered "view_not_found" before the page is reloaded for
// the new project; and nothing the old page asked afterwards reaches the new one.
#include <gtest/gtest.h>

#include <functional>

#include "support/Harness.h"
#include "support/ScratchFolders.h"

namespace {

std::string LogOf(const Harness& h) { return ReadFileText(h.folders().dataFolder() / "host.log"); }

TEST(ProjectChange, AnswersQueuedOperationsBeforeThePageReloadsAtTheNextCallBackOfAnyKind) {
    const std::vector<std::pair<const char*, std::function<void(SimHost&)>>> callBacks = {
        {"timer", [](SimHost& host) { host.Advance(std::chrono::milliseconds(100)); }},
        {"idle", [](SimHost& host) { host.Idle(); }},
        {"module command", [](SimHost& host) { host.RunEventLoopCalls(); }},
    };
    for (const auto& [name, callBack] : callBacks) {
        SCOPED_TRACE(name);
        Harness h;
        h.Post(Request("cap", "capture", R"({"viewId":"current"})"));
        h.Idle();  // the capture waits for its event-loop call
        h.Post(Request("list", "listViews"));
        h.host().project = {false, false, "/projects/house.pln", "house"};
        h.host().SendProjectEvent(4);
        EXPECT_EQ(h.page().Loads().size(), 1u) << "nothing runs inside the host's notification";
        callBack(h.host());
        const auto& timeline = h.page().Timeline();
        ASSERT_EQ(timeline.size(), 4u);
        EXPECT_EQ(timeline[1], "message cap");
        EXPECT_EQ(timeline[2], "message list");
        EXPECT_EQ(timeline[3], "load");
        EXPECT_EQ(h.OnlyReplyTo("cap")->ErrorCode(), "view_not_found");
        EXPECT_EQ(h.OnlyReplyTo("list")->ErrorCode(), "view_not_found");
        EXPECT_EQ(h.palette().PageProjectKey(), "file:/projects/house.pln");
        // The capture's event-loop call finds nothing to do, and no reply is dropped for it.
        h.host().RunEventLoopCalls();
        h.Idle(3);
        EXPECT_EQ(h.page().Messages().size(), 2u);
        EXPECT_EQ(LogOf(h).find("reply dropped"), std::string::npos);
        // The new page gets its adapter too.
        const size_t scripts = h.page().Scripts().size();
        h.host().FinishPageLoad();
        EXPECT_EQ(h.page().Scripts().size(), scripts + 1);
    }
}

TEST(ProjectChange, OnlyNewResetAndOpenEventsCountAndChangesBeforeOneCallBackReloadOnce) {
    Harness h;
    for (int event : {3, 5, 6, 7, 8, 16}) h.host().SendProjectEvent(event);
    h.host().Advance(std::chrono::milliseconds(200));
    EXPECT_EQ(h.page().Loads().size(), 1u);
    for (int event : {1, 2, 4}) {
        h.host().SendProjectEvent(event);
        h.host().Advance(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(h.page().Loads().size(), 4u);
    h.host().SendProjectEvent(2);
    h.host().SendProjectEvent(4);
    h.host().Idle();
    EXPECT_EQ(h.page().Loads().size(), 5u);
}

// What the old page posts after the host's notification belongs to the old page: a "setState"
// with the old project's panel state never lands in the new project's state file, and a page
// numbering its requests per load ("ui-1", "ui-2", ...) never takes an old answer for a new one.
TEST(ProjectChange, RequestsTheOldPagePostsAfterTheNotificationAreDroppedNotServed) {
    Harness h;
    h.host().project = {false, false, "/projects/a.pln", "a"};
    h.palette().LoadPanel();
    h.host().FinishPageLoad();
    h.palette().SignInState().SignIn(SecretString("token-a"));
    h.Post(Request("ui-1", "setState", R"({"state":{"project":"a"}})"));
    ASSERT_TRUE(h.OnlyReplyTo("ui-1")->Ok());

    h.host().project = {false, false, "/projects/b.pln", "b"};
    h.host().SendProjectEvent(4);
    h.Post(Request("ui-2", "setState", R"({"state":{"project":"a, late"}})"));
    h.Post(Request("ui-3", "getState"));
    h.host().Turn();
    EXPECT_EQ(h.page().Loads().size(), 3u);
    EXPECT_TRUE(h.page().RepliesTo("ui-2").empty());
    EXPECT_TRUE(h.page().RepliesTo("ui-3").empty());
    const std::string log = LogOf(h);
    EXPECT_NE(log.find("reply dropped after reload ui-2"), std::string::npos);
    EXPECT_NE(log.find("reply dropped after reload ui-3"), std::string::npos);

    h.Post(Request("new-1", "getState"));
    const std::string state = h.OnlyReplyTo("new-1")->json;
    EXPECT_NE(state.find(R"("state":{})"), std::string::npos) << state;
    h.host().project = {false, false, "/projects/a.pln", "a"};
    h.host().SendProjectEvent(4);
    h.host().Turn();
    h.Post(Request("back-1", "getState"));
    EXPECT_NE(h.OnlyReplyTo("back-1")->json.find(R"("state":{"project":"a"})"), std::string::npos);
}

// Work finished for a page since replaced is dropped, however it reaches the host thread.
TEST(ProjectChange, APostedCompletionOfTheOldPageIsDroppedAndLogged) {
    Harness h;
    const uint64_t oldLoad = h.palette().MessageLoad();
    int ran = 0;
    h.host().SendProjectEvent(4);
    h.host().Idle();
    PostToHost(*ProcessMailbox(), RequestTag{"ui-1", oldLoad, false}, [&ran](Palette&) { ++ran; });
    PostToHost(*ProcessMailbox(), [&ran](Palette&) { ran += 10; });
    h.host().Idle();
    EXPECT_EQ(ran, 10) << "the event runs; the old page's completion does not";
    EXPECT_NE(LogOf(h).find("reply dropped after reload ui-1"), std::string::npos);
    EXPECT_TRUE(h.page().Messages().empty());
}

TEST(ProjectChange, ProjectKeysNameTheProjectByPathThenName) {
    Harness h(false);
    struct Case {
        SimProject project;
        const char* key;
    } cases[] = {
        {{false, false, "C:\\Projetos\\Casa Nova.pln", "Casa Nova"}, "file:C:\\Projetos\\Casa Nova.pln"},
        {{false, true, "", "Untitled"}, "untitled:Untitled"},
        {{false, true, "/tmp/draft.pln", "draft"}, "untitled:/tmp/draft.pln"},
        {{false, false, "", ""}, "file:"},
        {{true, false, "/x", "x"}, "none"},
    };
    for (const auto& c : cases) {
        h.host().project = c.project;
        h.host().OpenPaletteFromMenu();
        h.palette().LoadPanel();
        EXPECT_EQ(h.palette().PageProjectKey(), c.key);
    }
}

}  // namespace
