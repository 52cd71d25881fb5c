// What the simulator makes of the page's timeline: each reply answers the earliest waiting
// request with its id, and a load drops every request still waiting, whatever comes after it.
#include <gtest/gtest.h>

#include "platform/Utf.h"
#include "sim/PageRequests.h"

namespace {

using State = PageRequests::State;

void Receive(ScriptedPage& page, const std::string& json) {
    page.ExecuteScript(Utf8ToUtf16("window.TamselBridge&&window.TamselBridge.receive(" + json + ")"));
}

std::string Reply(const std::string& id, int n) {
    return R"({"id":")" + id + R"(","ok":true,"result":{"n":)" + std::to_string(n) + "}}";
}

int ResultN(const PageRequests& requests, const std::string& id) {
    const rapidjson::Value* reply = requests.ReplyTo(id);
    return reply == nullptr ? -1 : (*reply)["result"]["n"].GetInt();
}

TEST(PageRequests, EachReplyAnswersTheEarliestWaitingRequestWithItsId) {
    ScriptedPage page;
    Receive(page, Reply("a", 0));  // before the run: history
    PageRequests requests(page);
    EXPECT_EQ(requests.StateOf("a"), State::NotSent);
    requests.Sent("a");
    requests.Sent("b");
    requests.Sent("a");
    Receive(page, R"({"event":"signedOut"})");
    Receive(page, Reply("a", 1));
    EXPECT_TRUE(requests.Update().empty());
    // The later "a" is the one a reference names; it still waits.
    EXPECT_EQ(requests.StateOf("a"), State::Waiting);
    EXPECT_EQ(requests.ReplyTo("a"), nullptr);
    EXPECT_EQ(requests.Count(State::Waiting), 2u);
    Receive(page, Reply("a", 2));
    Receive(page, Reply("b", 3));
    Receive(page, Reply("c", 4));  // answers nothing that was sent
    requests.Update();
    EXPECT_EQ(requests.StateOf("a"), State::Answered);
    EXPECT_EQ(ResultN(requests, "a"), 2);
    EXPECT_EQ(ResultN(requests, "b"), 3);
    EXPECT_EQ(requests.StateOf("c"), State::NotSent);
    EXPECT_EQ(requests.Count(State::Answered), 3u);
    EXPECT_EQ(requests.Count(State::Waiting), 0u);
}

TEST(PageRequests, ALoadDropsTheWaitingRequestsAndALaterReplyAnswersNoneOfThem) {
    ScriptedPage page;
    page.LoadUrl(u"file:///first.html");  // the page the run starts with
    PageRequests requests(page);
    requests.Sent("answered");
    requests.Sent("late");
    requests.Sent("other");
    // Seen in one go, in the page's order: a reply before the load, then the load, then a reply
    // to a request of the page that was replaced.
    Receive(page, Reply("answered", 1));
    page.LoadUrl(u"file:///second.html");
    Receive(page, Reply("late", 2));
    EXPECT_EQ(requests.Update(), (std::vector<std::string>{"late", "other"}));
    EXPECT_EQ(requests.StateOf("answered"), State::Answered);
    EXPECT_EQ(requests.StateOf("late"), State::Dropped);
    EXPECT_EQ(requests.ReplyTo("late"), nullptr);
    EXPECT_EQ(requests.Count(State::Dropped), 2u);
    EXPECT_TRUE(requests.Update().empty()) << "a request is dropped once";

    // A request sent to the new page is answered by its reply, and the next load drops nothing
    // that was answered.
    requests.Sent("late");
    Receive(page, Reply("late", 3));
    page.LoadHtml(u"<p>third</p>");
    EXPECT_TRUE(requests.Update().empty());
    EXPECT_EQ(requests.StateOf("late"), State::Answered);
    EXPECT_EQ(ResultN(requests, "late"), 3);
}

}  // namespace
