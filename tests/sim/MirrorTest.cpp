// The scripted page mirrored to a live browser: what the add-on does reaches both, and the live
// browser's loading state is the page's.
#include <gtest/gtest.h>

#include "sim/browser/ScriptedPage.h"

namespace {
// A live browser that only records.
struct RecordingBrowser final : Browser {
    void LoadUrl(const std::u16string& url) override { calls.push_back("url " + std::string(url.begin(), url.end())); }
    void LoadHtml(const std::u16string& html) override { calls.push_back("html " + std::string(html.begin(), html.end())); }
    void ExecuteScript(const std::u16string& s) override { calls.push_back("script " + std::string(s.begin(), s.end())); }
    void RegisterNativeObject(const NativeObject& o) override { calls.push_back("register " + o.name); }
    void UnregisterNativeObject(const std::string& name) override { calls.push_back("unregister " + name); }
    void OnLoadingStateChanged(std::function<void(bool)> handler) override { loading = std::move(handler); }
    std::vector<std::string> calls;
    std::function<void(bool)> loading;
};

TEST(MirroredPage, ReplaysTheObjectsAndTheLastLoadThenForwardsEverything) {
    ScriptedPage page;
    std::vector<bool> seen;
    page.OnLoadingStateChanged([&](bool l) { seen.push_back(l); });
    page.RegisterNativeObject({"TamselAC", {{"post", [](const NativeArg&) { return true; }}}});
    page.LoadHtml(u"<p>first</p>");
    page.LoadUrl(u"file:///panel/index.html?lang=en");

    RecordingBrowser live;
    page.Mirror(&live);
    EXPECT_EQ(live.calls, (std::vector<std::string>{"register TamselAC", "url file:///panel/index.html?lang=en"}));

    page.ExecuteScript(u"window.TamselBridge&&window.TamselBridge.receive({\"id\":\"1\",\"ok\":true,\"result\":{}})");
    page.UnregisterNativeObject("TamselAC");
    EXPECT_EQ(live.calls.size(), 4u);
    EXPECT_EQ(live.calls[3], "unregister TamselAC");
    ASSERT_EQ(page.Messages().size(), 1u) << "replies are still recorded";
    EXPECT_EQ(page.Messages()[0].Id(), "1");
}

TEST(MirroredPage, OnlyTheLiveBrowserEndsALoad) {
    ScriptedPage page;
    std::vector<bool> seen;
    page.OnLoadingStateChanged([&](bool l) { seen.push_back(l); });
    RecordingBrowser live;
    page.Mirror(&live);
    page.LoadUrl(u"file:///a");
    EXPECT_TRUE(page.IsLoading());
    EXPECT_FALSE(page.FinishLoading()) << "the simulated host's turn must not end a real load";
    EXPECT_TRUE(page.IsLoading());
    ASSERT_TRUE(static_cast<bool>(live.loading));
    live.loading(false);
    EXPECT_FALSE(page.IsLoading());
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));

    // Without the mirror the scripted page ends its loads itself again.
    page.Mirror(nullptr);
    EXPECT_FALSE(static_cast<bool>(live.loading)) << "unsubscribed from the live browser";
    page.LoadUrl(u"file:///b");
    EXPECT_TRUE(page.FinishLoading());
    EXPECT_EQ(live.calls.back(), "url file:///a");
}
}  // namespace
