// Page scripts made in one buffer: the same units as widening the whole script text at once,
// base64 written from the bytes as Base64Encode writes it, and a prepared reply the same script
// as the host thread's own reply.
#include <gtest/gtest.h>

#include "panel/PageScript.h"
#include "panel/Replies.h"
#include "platform/Utf.h"
#include "store/DataUrl.h"

namespace {

TEST(PageScript, IsTheWholeTextWidenedWithBase64FromTheBytes) {
    std::string bytes;
    for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(i * 7);
    for (size_t size : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{8}, size_t{1000}}) {
        const std::string_view data(bytes.data(), size);
        const JsonWriter writer = [&](JsonSink& sink) {
            sink.Text("{\"name\":\"caf\xC3\xA9 \xF0\x9F\x8F\xA0 \xFF\",\"b\":\"");
            sink.Base64(data);
            sink.Text("\"}");
        };
        const std::string json = "{\"name\":\"caf\xC3\xA9 \xF0\x9F\x8F\xA0 \xFF\",\"b\":\"" + Base64Encode(data) + "\"}";
        EXPECT_EQ(PageScript(writer), Utf8ToUtf16("window.TamselBridge&&window.TamselBridge.receive(" + json + ")"))
            << size;
        EXPECT_EQ(JsonText(writer), json) << size;
    }
}

TEST(PreparedReply, HoldsTheScriptOfTheReplyOrForAReservedIdItsJson) {
    const PreparedReply page = PrepareOkReply("ui-\"7\"", PlainJson(R"({"x":"\u00e9"})"));
    EXPECT_FALSE(page.reserved);
    EXPECT_EQ(page.script, Utf8ToUtf16(R"(window.TamselBridge&&window.TamselBridge.receive({"id":"ui-\"7\"","ok":true,"result":{"x":"\u00e9"}}))"));
    const PreparedReply own = PrepareOkReply("selftest-api", PlainJson(R"({"a":1})"));
    EXPECT_TRUE(own.reserved);
    EXPECT_TRUE(own.script.empty());
    EXPECT_EQ(own.resultJson, R"({"a":1})");
}

}  // namespace
