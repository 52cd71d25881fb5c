// The HTTPS transport against a real TLS server on loopback: what goes on the wire, and what
// comes back.
#include <gtest/gtest.h>

#include <algorithm>

#include "handlers/service/HttpTransport.h"
#include "handlers/service/ServiceCall.h"
#include "support/TestService.h"
#include "support/Wine.h"

namespace {

// The request's header lines without the ones the platform's HTTP stack adds itself.
std::vector<std::string> OwnLines(const RecordedRequest& request) {
    std::vector<std::string> lines;
    for (const std::string& line : request.headerLines) {
        const std::string name = line.substr(0, line.find(':'));
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        if (lower != "host" && lower != "user-agent" && lower != "content-length" && lower != "connection" &&
            lower != "cache-control")
            lines.push_back(line);
    }
    return lines;
}

std::string RuntimeError(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::invalid_argument& e) {
        return std::string("invalid_argument: ") + e.what();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

class Transport : public ::testing::Test {
protected:
    void SetUp() override { service = TestService::Start(); }
    // The service's check of its violations runs as it goes, inside the test.
    void TearDown() override { service.reset(); }
    HttpResponse Get(const std::u16string& path, uint32_t timeoutMs = 20000) {
        return SendRequest(u"GET", path, "", u"en", "", u"", timeoutMs);
    }
    std::unique_ptr<TestService> service;
};

TEST_F(Transport, SendsExactlyItsHeaderLinesInOrder) {
    service->ExpectLanguage("pt-BR");
    service->Script(ScriptedAnswer::Status(201, "{\"ok\":true}"));
    const HttpResponse r = SendRequest(u"POST", u"/v1/jobs?kind=render", "tok.en-1", u"pt-BR", "{\"a\":1}",
                                       u"Content-Type: application/json\r\nx-filename: casa.jpg\r\n", 20000);
    EXPECT_EQ(r.status, 201);
    EXPECT_EQ(r.body, "{\"ok\":true}");
    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "POST /v1/jobs?kind=render HTTP/1.1");
    EXPECT_EQ(OwnLines(requests[0]), (std::vector<std::string>{
                                         "X-Ovra-Plugin: tamsel-ovra/1.1.0 (contract=1; archicad=30; os=win)",
                                         "Accept-Language: pt-BR",
                                         "Authorization: Bearer tok.en-1",
                                         "Content-Type: application/json",
                                         "x-filename: casa.jpg",
                                     }));
    EXPECT_EQ(requests[0].Header("Host"), "app.ovra.example");
    EXPECT_EQ(requests[0].Header("User-Agent"), "Tamsel Ovra/0.1.0");
    EXPECT_EQ(requests[0].Header("Content-Length"), "7");
    EXPECT_EQ(requests[0].body, "{\"a\":1}");
}

TEST_F(Transport, WithoutATokenThereIsNoAuthorizationAndAnEmptyBodyHasNoType) {
    service->ExpectLanguage("es");
    service->Script(ScriptedAnswer::Status(204));
    const HttpResponse r = SendRequest(u"POST", u"/v1/device/start", "", u"es", "", u"", 20000);
    EXPECT_EQ(r.status, 204);
    EXPECT_TRUE(r.body.empty());
    const auto request = service->Record().requests.at(0);
    EXPECT_EQ(OwnLines(request), (std::vector<std::string>{
                                     "X-Ovra-Plugin: tamsel-ovra/1.1.0 (contract=1; archicad=30; os=win)",
                                     "Accept-Language: es",
                                 }));
    EXPECT_EQ(request.Header("Content-Length"), "0");
}

TEST_F(Transport, BinaryBodiesGoAndComeWhole) {
    std::string upload;
    for (int i = 0; i < 70000; ++i) upload += static_cast<char>(i * 7);
    service->Script(ScriptedAnswer::Generated(100000));
    const HttpResponse r = SendRequest(u"PUT", u"/v1/uploads/1", "t", u"en", upload,
                                       u"Content-Type: application/octet-stream\r\nx-filename: a.bin\r\n", 20000);
    EXPECT_TRUE(r.body == GeneratedBody(100000));
    EXPECT_TRUE(service->Record().requests.at(0).body == upload);
}

TEST_F(Transport, RefusedRequestsNeverConnect) {
    for (const std::u16string path : {u"", u"v1/me", u"//other.example/", u"/a\r\nInjected: 1"})
        EXPECT_EQ(RuntimeError([&] { Get(path); }), "invalid_argument: invalid HTTP request");
    EXPECT_EQ(RuntimeError([&] { SendRequest(u"GET", u"/me", "tok\nen", u"en", "", u"", 20000); }),
              "invalid_argument: invalid HTTP request");
    EXPECT_EQ(RuntimeError([&] { SendRequest(u"GET", u"/me", "", u"en\r", "", u"", 20000); }),
              "invalid_argument: invalid HTTP request");
    EXPECT_EQ(RuntimeError([&] { SendRequest(u"GET", u"/me", "\xFF", u"en", "", u"", 20000); }), "invalid UTF-8");
    EXPECT_EQ(service->Record().connections, 0u);
}

TEST_F(Transport, RedirectsComeBackUnfollowed) {
    service->Script(ScriptedAnswer::Status(302, "moved", {"Location: https://app.ovra.example/elsewhere"}));
    const HttpResponse r = Get(u"/v1/files/a");
    EXPECT_EQ(r.status, 302);
    EXPECT_EQ(r.body, "moved");
    EXPECT_EQ(service->Record().requests.size(), 1u);
}

// CallService passes 200 to 299 through and turns everything else into the service's error;
// a 401 is a revocation only when the request carried a token.
TEST_F(Transport, CallServiceChecksTheStatusAndTheTokenFlag) {
    for (const int32_t status : {200, 204, 299}) {
        service->Script(ScriptedAnswer::Status(status, status == 204 ? "" : "{\"a\":1}"));
        EXPECT_EQ(CallService(u"GET", "/api/v1/me", "", u"en", "", u"", 20000).status, status);
    }
    auto codeOf = [&](int32_t status, const std::string& token) {
        service->Script(ScriptedAnswer::Status(status, ""));
        try {
            CallService(u"GET", "/api/v1/me", token, u"en", "", u"", 20000);
        } catch (const OvraApi::Error& e) {
            EXPECT_EQ(e.status, status);
            return e.code;
        }
        return std::string("no error");
    };
    EXPECT_EQ(codeOf(300, ""), "internal");
    EXPECT_EQ(codeOf(300, "token"), "internal");
    EXPECT_EQ(codeOf(401, "token"), "revoked");
    EXPECT_EQ(codeOf(401, ""), "internal") << "no token was sent, so none was revoked";
}

TEST_F(Transport, RetryAfterIsReadAsSecondsAndCapped) {
    struct Case {
        const char* header;
        int32_t expected;
    } cases[] = {{"Retry-After: 120", 120}, {"Retry-After: 7200", 3600}, {nullptr, 0},
                 {"Retry-After: 120abc", 0}, {"Retry-After: -5", 0},    {"Retry-After: Wed, 21 Oct 2026 07:28:00 GMT", 0},
                 {"retry-after: 45", 45}};
    for (const auto& c : cases) {
        service->Script(ScriptedAnswer::Status(503, "", c.header ? std::vector<std::string>{c.header}
                                                                 : std::vector<std::string>{}));
        EXPECT_EQ(Get(u"/v1/me").retryAfter, c.expected) << (c.header ? c.header : "(none)");
    }
}

TEST_F(Transport, BodiesUpTo32MiBAreTakenAndOneByteMoreIsRefused) {
    service->Script(ScriptedAnswer::Generated(33554432));
    const HttpResponse r = Get(u"/v1/files/big");
    EXPECT_EQ(r.body.size(), 33554432u);
    EXPECT_TRUE(r.body == GeneratedBody(33554432));
    service->Script(ScriptedAnswer::Generated(33554433));
    EXPECT_EQ(RuntimeError([&] { Get(u"/v1/files/bigger"); }), "response too large");
}

// Servers frame and pace answers differently: chunked, on a connection kept open for a next
// request, in uneven pieces with pauses. Each answer still arrives whole, and every exchange opens
// a connection of its own even where the server would keep one.
TEST_F(Transport, ReadsChunkedKeptAliveAndUnevenAnswersWholeOnAConnectionEach) {
    service->Script(ScriptedAnswer::Status(200, R"({"framing":"chunked"})").Chunked());
    service->Script(ScriptedAnswer::Generated(3 << 20).Chunked().KeepAlive());
    service->Script(ScriptedAnswer::Generated(33554432).Uneven().KeepAlive());
    service->Script(ScriptedAnswer::Generated(1 << 20).Chunked().Uneven());
    service->Script(ScriptedAnswer::Status(200, "{}").KeepAlive());
    EXPECT_EQ(Get(u"/v1/me").body, R"({"framing":"chunked"})");
    EXPECT_TRUE(Get(u"/v1/files/a").body == GeneratedBody(3 << 20));
    const HttpResponse big = Get(u"/v1/files/b");
    EXPECT_EQ(big.body.size(), 33554432u);
    EXPECT_TRUE(big.body == GeneratedBody(33554432));
    EXPECT_TRUE(Get(u"/v1/files/c").body == GeneratedBody(1 << 20));
    EXPECT_EQ(Get(u"/v1/plugin/config").body, "{}");

    const ServiceRecord record = service->Record();
    ASSERT_EQ(record.requests.size(), 5u);
    EXPECT_EQ(record.connections, 5u);
    for (size_t i = 0; i < record.requests.size(); ++i)
        EXPECT_EQ(record.requests[i].connection, i + 1) << record.requests[i].requestLine;
}

TEST_F(Transport, AChunkedBodyPastTheLimitIsRefusedAsALongOneIs) {
    service->Script(ScriptedAnswer::Generated(33554432).Chunked());
    EXPECT_EQ(Get(u"/v1/files/big").body.size(), 33554432u);
    service->Script(ScriptedAnswer::Generated(33554433).Chunked().Uneven());
    EXPECT_EQ(RuntimeError([&] { Get(u"/v1/files/bigger"); }), "response too large");
}

TEST_F(Transport, ASilentServerTimesOut) {
    if (RunningUnderWine()) GTEST_SKIP() << "Wine 8: WinHttpSetTimeouts never times out a response that does not come";
    service->Script(ScriptedAnswer::NeverAnswer());
    EXPECT_EQ(RuntimeError([&] { Get(u"/v1/slow", 1500); }), "network error");
}

TEST_F(Transport, ADroppedConnectionFails) {
    service->Script(ScriptedAnswer::DropConnection());
    EXPECT_EQ(RuntimeError([&] { Get(u"/v1/dropped"); }), "network error");
}

TEST_F(Transport, AnUntrustedCertificateFails) {
    service->Aim(false);
    service->Script(ScriptedAnswer::Status(200, "secret"));
    EXPECT_EQ(RuntimeError([&] { Get(u"/v1/me"); }), "network error");
    service->Aim(true);
    EXPECT_TRUE(service->Record().requests.empty()) << "no request travels over an unverified connection";
}

TEST_F(Transport, CookiesAreNeverSentBack) {
    service->Script(ScriptedAnswer::Status(200, "{}", {"Set-Cookie: session=abc; Path=/"}));
    service->Script(ScriptedAnswer::Status(200, "{}"));
    Get(u"/v1/one");
    Get(u"/v1/two");
    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[1].Header("Cookie").has_value());
    EXPECT_EQ(requests[0].connection + 1, requests[1].connection) << "each exchange has its own connection";
}

}  // namespace
