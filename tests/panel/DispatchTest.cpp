// Request texts in, replies out: the envelope rules, routing by type, the reply formats and the
// two native objects.
#include <gtest/gtest.h>

#include <map>
#include <rapidjson/document.h>

#include <thread>

#include "panel/Language.h"
#include "panel/Replies.h"
#include "support/Harness.h"

namespace {

const char kUnsupported[] =
    R"({"code":"unsupported","message":"Recording the animation does not work in Archicad yet. Export the )"
    R"(fly-through video from Archicad and send it with Choose file."})";

TEST(Envelope, IdsOfOneTo128BytesAreAnswered) {
    Harness h;
    const std::string id128(128, 'x');
    const std::string id129(129, 'y');
    h.Post(Request("a", "record"));
    h.Post(Request(id128, "record"));
    h.Post(Request(id129, "record"));
    h.Post(Request("", "record"));
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"a", id128}));
}

TEST(Envelope, TextsThatAreNotARequestObjectAreDroppedSilently) {
    Harness h;
    for (const char* text : {"", "not json", "[]", R"(["id","record"])", "\"text\"", "42", "null",
                             R"({"id":"a","type":"record"} trailing)", R"({"id":"a","type":"record")",
                             R"({"id":7,"type":"record"})", R"({"id":null,"type":"record"})",
                             R"({"id":["a"],"type":"record"})", R"({"type":"record"})"})
        h.Post(text);
    EXPECT_TRUE(h.page().Messages().empty());
}

TEST(Envelope, ATypeOfTheWrongKindCountsAsEmptyAndIsUnsupported) {
    Harness h;
    h.Post(R"({"id":"n","type":5})");
    h.Post(R"({"id":"m"})");
    EXPECT_EQ(h.OnlyReplyTo("n")->ErrorCode(), "unsupported");
    EXPECT_EQ(h.OnlyReplyTo("m")->ErrorCode(), "unsupported");
}

TEST(Envelope, APayloadThatIsNotAnObjectReachesTheHandlerAsNull) {
    for (const char* text : {R"({"payload":[1,2]})", R"({"payload":"x"})", R"({"payload":null})", R"({})"}) {
        rapidjson::Document d;
        d.Parse(text);
        EXPECT_TRUE(PayloadOf(d).IsNull()) << text;
    }
    rapidjson::Document d;
    d.Parse(R"({"payload":{"viewId":"current"}})");
    ASSERT_TRUE(PayloadOf(d).IsObject());
    EXPECT_STREQ(PayloadOf(d)["viewId"].GetString(), "current");
}

TEST(Routing, TypesAreCaseSensitiveAndUnknownOnesUnsupported) {
    Harness h;
    h.Post(Request("1", "GetState"));
    h.Post(Request("2", "getstate"));
    h.Post(Request("3", "record"));
    h.Post(Request("4", "getState "));
    h.Post(Request("5", "somethingNew"));
    for (const char* id : {"1", "2", "3", "4", "5"}) {
        const auto* reply = h.OnlyReplyTo(id);
        ASSERT_NE(reply, nullptr);
        EXPECT_EQ(reply->json, std::string(R"({"id":")") + id + R"(","ok":false,"error":)" + kUnsupported + "}");
    }
}

TEST(Routing, ImmediateTypesAnswerInsideThePostAndQueuedOnesWaitForIdle) {
    Harness h;
    for (const char* type : {"getState", "setState", "openUrl", "api"}) {
        h.Post(Request(type, type, "{}"));
        EXPECT_EQ(h.page().RepliesTo(type).size(), 1u) << type;
    }
    const std::vector<std::string> queued = {"listViews", "capture", "place", "pickFile", "saveFiles"};
    for (const auto& type : queued) h.Post(Request(type, type, "{}"));
    EXPECT_EQ(h.page().Messages().size(), 4u);
    for (int i = 0; i < 10 && h.page().Messages().size() < 9; ++i) h.host().Turn();
    // Each request answers an empty payload itself: the listing lists, a capture of no view finds none.
    const std::map<std::string, std::string> answered = {
        {"place", "missing_file"}, {"pickFile", ""}, {"saveFiles", "invalid_request"}};
    for (const auto& type : queued) {
        const auto* reply = h.OnlyReplyTo(type);
        ASSERT_NE(reply, nullptr);
        if (type == "listViews")
            EXPECT_TRUE(reply->Ok());
        else
            EXPECT_EQ(reply->ErrorCode(), answered.count(type) ? answered.at(type) : "view_not_found") << type;
    }
}

TEST(Replies, IdsWithQuotesBackslashesAndLineBreaksComeBackUnchanged) {
    Harness h;
    const std::vector<std::string> ids = {"a\"b", "line\nbreak\r", "back\\slash", "tab\t\x01", "\xC3\xA9t\xC3\xA9",
                                          "</script>"};
    for (const auto& id : ids) h.Post(Request(id, "record"));
    EXPECT_EQ(h.ReplyIds(), ids);
}

TEST(Replies, OkAndErrorRepliesHaveTheirExactShape) {
    Harness h;
    ReplyOk(h.palette(), "k", "{}");
    ReplyOk(h.palette(), "k2", R"({"a":[1,2]})");
    ReplyError(h.palette(), "e", Failure{"busy", "Wait.", "", 0});
    ReplyError(h.palette(), "e2", Failure{"busy", "Wait.", "queue_full", 30});
    ReplyError(h.palette(), "e3", Failure{"busy", "Wait.", "", 7});
    const auto& m = h.page().Messages();
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].json, R"({"id":"k","ok":true,"result":{}})");
    EXPECT_EQ(m[1].json, R"({"id":"k2","ok":true,"result":{"a":[1,2]}})");
    EXPECT_EQ(m[2].json, R"({"id":"e","ok":false,"error":{"code":"busy","message":"Wait."}})");
    EXPECT_EQ(m[3].json,
              R"({"id":"e2","ok":false,"error":{"code":"busy","message":"Wait.","reason":"queue_full","retry_after":30}})");
    EXPECT_EQ(m[4].json, R"({"id":"e3","ok":false,"error":{"code":"busy","message":"Wait.","retry_after":7}})");
    EXPECT_EQ(h.page().Scripts().back(), "window.TamselBridge&&window.TamselBridge.receive(" + m[4].json + ")");
}

TEST(Replies, ErrorMessagesFollowTheUiLanguage) {
    Harness h;
    uiLanguage = u"pt-BR";
    h.Post(Request("pt", "record"));
    uiLanguage = u"es";
    h.Post(Request("es", "record"));
    uiLanguage = u"fr";
    h.Post(Request("fr", "record"));
    uiLanguage = u"en";
    EXPECT_NE(h.OnlyReplyTo("pt")->json.find("\"Gravar a anima\xC3\xA7\xC3\xA3o ainda"), std::string::npos);
    EXPECT_NE(h.OnlyReplyTo("es")->json.find("\"Grabar la animaci\xC3\xB3n a\xC3\xBAn"), std::string::npos);
    EXPECT_NE(h.OnlyReplyTo("fr")->json.find("\"Recording the animation does"), std::string::npos);
}

TEST(Replies, SelfTestIdsAreProcessedButNeverReachThePage) {
    Harness h;
    h.Post(Request("selftest-1", "record"));
    h.Post(Request("selftest-2", "listViews"));
    h.Idle(3);
    ReplyOk(h.palette(), "selftest-3", "{}");
    EXPECT_TRUE(h.page().Messages().empty());
    EXPECT_TRUE(h.palette().Pump().Empty()) << "the queued one was run";
    h.Post(Request("selftes-4", "record"));
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"selftes-4"});
}

TEST(JsonQuoting, EscapesQuotesBackslashesAndControlCharactersOnly) {
    EXPECT_EQ(JsonQuote(""), "\"\"");
    EXPECT_EQ(JsonQuote("plain"), "\"plain\"");
    EXPECT_EQ(JsonQuote("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonQuote("\n\r\t\b\f"), "\"\\n\\r\\t\\b\\f\"");
    EXPECT_EQ(JsonQuote(std::string("\x01\x1f", 2)), "\"\\u0001\\u001F\"");
    EXPECT_EQ(JsonQuote(std::string("a\0b", 3)), "\"a\\u0000b\"");
    EXPECT_EQ(JsonQuote("/ \xC3\xA9 \xE2\x80\x9C"), "\"/ \xC3\xA9 \xE2\x80\x9C\"");
    // Hangul also begins with 0xED and stays as it is; a second half of a surrogate pair on its
    // own is escaped, a first half (which no parser would read back as an escape) is not.
    EXPECT_EQ(JsonQuote("\xED\x95\x9C"), "\"\xED\x95\x9C\"");
    EXPECT_EQ(JsonQuote("a\xED\xB0\x80" "b\xED\xA0\xBD"), "\"a\\uDC00b\xED\xA0\xBD\"");
    EXPECT_EQ(JsonQuote("\xED\xB0"), "\"\xED\xB0\"") << "a cut sequence is left as it is";
}

TEST(JsonQuoting, AnIdWithALoneSurrogateComesBackAsThePageWroteIt) {
    // The page's JSON.stringify escapes a surrogate that has no other half; the parser decodes it
    // to three bytes that are not UTF-8, which the reply must escape again to give the same id.
    Harness h;
    h.Post(R"({"id":"a\udc00b","type":"record"})");
    ASSERT_EQ(h.page().Messages().size(), 1u);
    EXPECT_EQ(h.page().Messages()[0].json.rfind(R"({"id":"a\uDC00b",)", 0), 0u) << h.page().Messages()[0].json;
}

TEST(NativeObjects, BothNamesDispatchTheSameWayAndIgnoreNonStrings) {
    Harness h;
    EXPECT_EQ(h.page().Call("ACAPI", "TamselSend", {NativeArg::Kind::String, Request("via-acapi", "record")}), true);
    EXPECT_EQ(h.page().Call("TamselAC", "post", {NativeArg::Kind::String, Request("via-post", "record")}), true);
    for (auto kind : {NativeArg::Kind::Number, NativeArg::Kind::Boolean, NativeArg::Kind::Null,
                      NativeArg::Kind::Undefined, NativeArg::Kind::Object})
        EXPECT_EQ(h.page().Call("TamselAC", "post", {kind, Request("ignored", "record")}), true);
    EXPECT_FALSE(h.page().Call("TamselAC", "TamselSend", {}).has_value());
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"via-acapi", "via-post"}));
}

TEST(NativeObjects, CallsFromAnotherThreadGoThroughTheMailbox) {
    Harness h;
    std::thread browserThread([&h] { h.page().Post(Request("off-thread", "record")); });
    browserThread.join();
    EXPECT_TRUE(h.page().Messages().empty()) << "nothing is dispatched off the host thread";
    h.host().Advance(std::chrono::milliseconds(100));  // the timer drains the Mailbox
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"off-thread"});
}

}  // namespace

namespace {
// The palette's host-thread operations stop the process when a worker calls one, in the builds
// with checks, so a fault of that kind fails a test instead of racing.
TEST(HostThreadDeathTest, AReplyFromAWorkerThreadStopsTheProcessInCheckedBuilds) {
#ifdef NDEBUG
    GTEST_SKIP() << "the check is compiled into the debug and sanitizer builds only";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Harness h;
            std::thread worker([&h] { ReplyOk(h.palette(), "w", "{}"); });
            worker.join();
        },
        "ReplyOk runs on the host thread only");
#endif
}
}  // namespace
