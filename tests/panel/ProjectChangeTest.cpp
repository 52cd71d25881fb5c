// A project change: queued model operations are answered "view_not_found" before the page is
// reloaded for the new project, and nothing happens until the Mailbox is drained.
#include <gtest/gtest.h>

#include "support/Harness.h"

namespace {

TEST(ProjectChange, AnswersQueuedOperationsBeforeThePageReloads) {
    Harness h;
    h.Post(Request("cap", "capture", R"({"viewId":"current"})"));
    h.Post(Request("list", "listViews"));
    h.palette().previews["current"] = "data:image/jpeg;base64,AAAA";
    h.host().project = {false, false, "/projects/house.pln", "house"};
    h.host().SendProjectEvent(4);
    EXPECT_EQ(h.palette().modelOps.size(), 2u) << "handled only when the Mailbox is drained";
    h.host().Advance(std::chrono::milliseconds(100));
    EXPECT_TRUE(h.palette().modelOps.empty());
    EXPECT_TRUE(h.palette().previews.empty());
    EXPECT_EQ(h.palette().projectKey, "file:/projects/house.pln");
    const auto& timeline = h.page().Timeline();
    ASSERT_EQ(timeline.size(), 4u);
    EXPECT_EQ(timeline[1], "message cap");
    EXPECT_EQ(timeline[2], "message list");
    EXPECT_EQ(timeline[3], "load");
    EXPECT_EQ(h.OnlyReplyTo("cap")->ErrorCode(), "view_not_found");
    EXPECT_EQ(h.OnlyReplyTo("list")->ErrorCode(), "view_not_found");
    // The new page gets its adapter too.
    const size_t scripts = h.page().Scripts().size();
    h.host().FinishPageLoad();
    EXPECT_EQ(h.page().Scripts().size(), scripts + 1);
}

TEST(ProjectChange, OnlyNewResetAndOpenEventsCount) {
    Harness h;
    for (int event : {3, 5, 6, 7, 8, 16}) h.host().SendProjectEvent(event);
    h.host().Advance(std::chrono::milliseconds(200));
    EXPECT_EQ(h.page().Loads().size(), 1u);
    for (int event : {1, 2, 4}) h.host().SendProjectEvent(event);
    h.host().Advance(std::chrono::milliseconds(100));
    EXPECT_EQ(h.page().Loads().size(), 4u);
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
        EXPECT_EQ(h.palette().projectKey, c.key);
    }
}

}  // namespace
