// What the transport refuses before any network activity, the header block it sends, and how it
// reads Retry-After.
#include <gtest/gtest.h>

#include "handlers/service/HttpTransport.h"
#include "platform/Http.h"

namespace {

void ExpectRefused(const std::u16string& path, const std::string& token, const std::u16string& language) {
    try {
        SendRequest(u"GET", path, token, language, "", u"", 1000);
        ADD_FAILURE() << "sent";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "invalid HTTP request");
    }
}

TEST(RequestChecks, BadPathsAndLineBreaksAreRefusedBeforeConnecting) {
    // Pointing at a closed port would turn a sent request into "network error", not this.
    SetServiceEndpoint({1, ""});
    for (const std::u16string path : {u"", u"me", u"//evil.example/x", u"/a\r\nX: y", u"/a\nb", u"/a\rb"})
        ExpectRefused(path, "", u"en");
    ExpectRefused(u"/me", "tok\nen", u"en");
    ExpectRefused(u"/me", "tok\ren", u"en");
    ExpectRefused(u"/me", "", u"en\r\nX-Evil: 1");
    SetServiceEndpoint({});
}

TEST(RequestChecks, TheHeaderBlockHasItsFixedOrder) {
    EXPECT_EQ(RequestHeaderBlock("", u"pt-BR", u""),
              "X-Ovra-Plugin: tamsel-ovra/1.1.0 (contract=1; archicad=30; os=win)\r\nAccept-Language: pt-BR\r\n");
    EXPECT_EQ(RequestHeaderBlock("abc", u"en", u"Content-Type: application/json\r\n"),
              "X-Ovra-Plugin: tamsel-ovra/1.1.0 (contract=1; archicad=30; os=win)\r\nAccept-Language: en\r\n"
              "Authorization: Bearer abc\r\nContent-Type: application/json\r\n");
}

TEST(RequestChecks, ATokenThatIsNotUtf8IsRefused) {
    try {
        RequestHeaderBlock("bad\xC3(", u"en", u"");
        ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "invalid UTF-8");
    }
}

TEST(RetryAfterHeader, IsAPlainDecimalCountOfSecondsCapped) {
    EXPECT_EQ(ParseRetryAfter("120"), 120);
    EXPECT_EQ(ParseRetryAfter(" 120 "), 120);
    EXPECT_EQ(ParseRetryAfter("7200"), 3600);
    EXPECT_EQ(ParseRetryAfter("3600"), 3600);
    EXPECT_EQ(ParseRetryAfter("99999999999999999999999"), 3600);
    EXPECT_EQ(ParseRetryAfter("0"), 0);
    for (const char* absent : {"", "120abc", "-5", "+5", "1.5", "Wed, 21 Oct 2026 07:28:00 GMT", "1 2"})
        EXPECT_EQ(ParseRetryAfter(absent), 0) << absent;
}

}  // namespace
