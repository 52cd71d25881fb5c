// Opening the service's web pages: which addresses pass, what each target opens, and that a
// refused address opens nothing.
#include <gtest/gtest.h>

#include "handlers/service/WebPages.h"
#include "support/Harness.h"

namespace {

TEST(ServiceUrls, OnlyHttpsAddressesOnTheServiceDomainPass) {
    const struct {
        const char* address;
        bool accepted;
    } cases[] = {
        {"https://ovra.example", true},
        {"https://ovra.example/pricing?plan=pro", true},
        {"https://app.ovra.example/", true},
        {"https://a.b.ovra.example/x", true},
        {"https://ovra.example?x=1", true},
        {"https://notovra.example/", false},     // ends in the name without the dot
        {"https://.ovra.example/", false},       // a dot with nothing before it
        {"https://ovra.example.evil.test/", false},
        {"https://ovra.example:8443/", false},   // a port
        {"https://user@ovra.example/", false},   // user information
        {"https://ovra.example@evil.test/", false},
        {"http://ovra.example/", false},
        {"HTTPS://ovra.example/", false},
        {"https://App.ovra.example/", false},    // upper case in a subdomain
        {"https://ovra.example/a b", false},
        {"https://ovra.example/\"x", false},
        {"https://ovra.example/<x>", false},
        {"https://ovra.example/a\\b", false},
        {"https://ovra.example/a`b", false},
        {"https://ovra.example/\x01", false},    // control characters, DEL and non-ASCII bytes
        {"https://ovra.example/\x7F", false},
        {"https://ovra.example/caf\xC3\xA9", false},
        {"https://app_x.ovra.example/", false},
        {"", false},
        {"ovra.example", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsServiceUrl(c.address), c.accepted) << c.address;
    std::string longest = "https://ovra.example/";
    longest.append(2048 - longest.size(), 'a');
    EXPECT_TRUE(IsServiceUrl(longest));
    EXPECT_FALSE(IsServiceUrl(longest + "a")) << "2049 bytes";
}

TEST(OpenUrl, TargetsOpenTheirPagesAndAUrlWins) {
    Harness h;
    const struct {
        const char* payload;
        const char* opened;  // null: refused
    } cases[] = {
        {R"({"target":"signup"})", "https://app.ovra.example/login"},
        {R"({"target":"pricing"})", "https://app.ovra.example/pricing"},
        {R"({"target":"account"})", "https://app.ovra.example/account"},
        {R"({"target":"help"})", "https://app.ovra.example/"},
        {R"({"target":"update"})", "https://app.ovra.example/"},
        {R"({"url":"https://ovra.example/news","target":"pricing"})", "https://ovra.example/news"},
        {R"({"url":"","target":"changelog"})", "https://app.ovra.example/"},
        {R"({"target":"billing"})", nullptr},
        {R"({"url":"https://evil.test/","target":"pricing"})", nullptr},
        {R"({"url":7,"target":"app"})", "https://app.ovra.example/"},
        {R"({})", nullptr},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::string id = "o";
        id += std::to_string(n++);
        const size_t before = h.host().launcher.openedUrls.size();
        h.Post(Request(id, "openUrl", c.payload));
        const auto* reply = h.OnlyReplyTo(id);
        ASSERT_NE(reply, nullptr) << c.payload;
        if (c.opened != nullptr) {
            EXPECT_TRUE(reply->Ok()) << c.payload;
            ASSERT_EQ(h.host().launcher.openedUrls.size(), before + 1) << c.payload;
            EXPECT_EQ(h.host().launcher.openedUrls.back(), c.opened);
        } else {
            EXPECT_EQ(reply->ErrorCode(), "invalid_request") << c.payload;
            EXPECT_EQ(h.host().launcher.openedUrls.size(), before) << "nothing opened for " << c.payload;
        }
    }
}

}  // namespace
