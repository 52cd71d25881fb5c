// The simulated service itself: what it records of each request, how it delivers scripted
// answers (status, headers, bodies, delays, drops, held connections), and its certificates.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "service/TlsTestClient.h"
#include "sim/service/SimService.h"
#include "sim/service/TestPki.h"
#include "support/ExpectedViolations.h"

namespace {
using namespace std::chrono_literals;
using End = TlsTestClient::End;

class SimServiceTest : public ::testing::Test {
protected:
    void SetUp() override { service.Start(); }
    void TearDown() override { violations.Check(service.Violations()); }

    std::string Exchange(std::string_view request) { return ExchangeTls(service.Port(), ServicePki().caCertificatePem, request); }

    SimService service{ServicePki()};
    ExpectedViolations violations;
};

using ServiceRecording = SimServiceTest;
using ScriptedAnswers = SimServiceTest;
using ServiceCertificates = SimServiceTest;

TEST_F(ServiceRecording, KeepsTheRequestLineAndHeaderLinesInOrderAndAsSent) {
    // Odd header lines on purpose: another identification, another language and a body without
    // its type.
    violations.Expect("POST /api/v1/generate: X-Ovra-Plugin is \"a\"");
    violations.Expect("POST /api/v1/generate: Accept-Language is \"pt-BR\", expected \"en\"");
    violations.Expect("POST /api/v1/generate: a JSON body without Content-Type: application/json");
    TlsTestClient client(service.Port(), ServicePki().caCertificatePem);
    ASSERT_TRUE(client.Connected());
    // Pieces that split a header line, the blank line and the body.
    ASSERT_TRUE(client.Send("POST /api/v1/generate?draft=1 HTTP/1.1\r\nHost: app.ovra.example\r\nx-ovra-plugin: a\r"));
    ASSERT_TRUE(client.Send("\nAccept-Language:pt-BR\r\nX-Spaced:   two  words \t\r\nX-Twice: 1\r\nx-twice: 2\r\n"
                            "Content-Length: 13\r\n\r"));
    ASSERT_TRUE(client.Send("\nhello\r\n\r\nend"));
    ASSERT_TRUE(client.Send("!"));
    std::string answer;
    EXPECT_EQ(client.Receive(answer), End::Closed);

    const std::vector<RecordedRequest> requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const RecordedRequest& request = requests[0];
    EXPECT_EQ(request.requestLine, "POST /api/v1/generate?draft=1 HTTP/1.1");
    EXPECT_EQ(request.Method(), "POST");
    EXPECT_EQ(request.Target(), "/api/v1/generate?draft=1");
    EXPECT_EQ(request.headerLines,
              (std::vector<std::string>{"Host: app.ovra.example", "x-ovra-plugin: a", "Accept-Language:pt-BR",
                                        "X-Spaced:   two  words \t", "X-Twice: 1", "x-twice: 2",
                                        "Content-Length: 13"}));
    EXPECT_EQ(request.body, "hello\r\n\r\nend!");
    EXPECT_EQ(request.Header("X-TWICE"), "1");
    EXPECT_EQ(request.Header("x-spaced"), "two  words");
    EXPECT_EQ(request.Header("Authorization"), std::nullopt);
    EXPECT_EQ(request.connection, 1u);
}

TEST_F(ServiceRecording, KeepsEveryByteOfABinaryBody) {
    std::string body;
    for (int i = 0; i < 300000; ++i) body.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
    const std::string answer =
        Exchange("PUT /upload HTTP/1.1\r\n" + AddOnHeaderLines() +
                 "Content-Type: application/octet-stream\r\nx-filename: b.bin\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(answer.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << answer;
    const std::vector<RecordedRequest> requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].body == body) << requests[0].body.size() << " bytes recorded";
}

TEST_F(ServiceRecording, CountsConnectionsThatSendNoRequest) {
    {
        // A bare TCP connection, closed at once.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(service.Port());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    {
        TlsTestClient client(service.Port(), ServicePki().caCertificatePem);
        ASSERT_TRUE(client.Connected());
        client.Close();
    }
    // The service goes on to the next connection.
    EXPECT_EQ(Exchange("GET /me HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n").substr(0, 12), "HTTP/1.1 404");
    const ServiceRecord record = service.Record();
    EXPECT_EQ(record.connections, 3u);
    ASSERT_EQ(record.requests.size(), 1u);
    EXPECT_EQ(record.requests[0].connection, 3u);
}

TEST_F(ServiceRecording, RefusesChunkedBodiesAndBadLengthsButKeepsTheirHeads) {
    // Bare heads, so that the recorded lines are the framing lines alone.
    violations.Expect("no X-Ovra-Plugin header");
    violations.Expect("no Accept-Language header");
    service.Script(ScriptedAnswer::Status(200, "scripted"));
    const std::string chunked =
        Exchange("POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.substr(0, 28), "HTTP/1.1 411 Length Required");
    const std::string disagreeing = Exchange("POST /y HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd");
    EXPECT_EQ(disagreeing.substr(0, 24), "HTTP/1.1 400 Bad Request");
    const std::string signedLength = Exchange("POST /z HTTP/1.1\r\nContent-Length: +3\r\n\r\nabc");
    EXPECT_EQ(signedLength.substr(0, 24), "HTTP/1.1 400 Bad Request");
    // The scripted answer is kept for a request that the service read whole.
    EXPECT_EQ(service.QueuedAnswers(), 1u);

    const std::vector<RecordedRequest> requests = service.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].headerLines, std::vector<std::string>{"Transfer-Encoding: chunked"});
    EXPECT_EQ(requests[0].body, "");
    EXPECT_EQ(requests[1].requestLine, "POST /y HTTP/1.1");
    EXPECT_EQ(requests[2].requestLine, "POST /z HTTP/1.1");
}

TEST_F(ServiceRecording, AnExpectedContinueIsGrantedBeforeTheBody) {
    service.Script(ScriptedAnswer::Status(201, "stored"));
    TlsTestClient client(service.Port(), ServicePki().caCertificatePem);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send("POST /upload HTTP/1.1\r\n" + AddOnHeaderLines() +
                            "Content-Type: text/plain\r\nx-filename: d.txt\r\nExpect: 100-continue\r\nContent-Length: 4\r\n\r\n"));
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    std::string answer;
    ASSERT_EQ(client.Receive(answer, 20s, interim.size()), End::Enough);
    EXPECT_EQ(answer, interim);
    ASSERT_TRUE(client.Send("data"));
    answer.clear();
    EXPECT_EQ(client.Receive(answer), End::Closed);
    EXPECT_EQ(answer.substr(0, 21), "HTTP/1.1 201 Created\r");
    ASSERT_EQ(service.Requests().size(), 1u);
    EXPECT_EQ(service.Requests()[0].body, "data");
}

TEST_F(ServiceRecording, ResetForgetsRequestsAnswersAndConnections) {
    Exchange("GET /a HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n");
    service.Script(ScriptedAnswer::Status(200));
    service.Reset();
    EXPECT_EQ(service.Connections(), 0u);
    EXPECT_TRUE(service.Requests().empty());
    EXPECT_EQ(service.QueuedAnswers(), 0u);
    EXPECT_EQ(Exchange("GET /b HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n").substr(0, 12), "HTTP/1.1 404");
    ASSERT_EQ(service.Requests().size(), 1u);
    EXPECT_EQ(service.Requests()[0].connection, 1u);
}

TEST_F(ScriptedAnswers, ArriveInOrderAsScriptedThenTheDefaultAnswer) {
    service.Script({ScriptedAnswer::Status(302, "moved", {"Location: https://elsewhere.example/", "Set-Cookie: s=1"}),
                    ScriptedAnswer::Status(429, "", {"Retry-After: 120"})});
    ScriptedAnswer custom = ScriptedAnswer::Status(503, "{}");
    custom.reason = "Resting";
    service.Script(custom);

    EXPECT_EQ(Exchange("GET /1 HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"),
              "HTTP/1.1 302 Found\r\nLocation: https://elsewhere.example/\r\nSet-Cookie: s=1\r\n"
              "Content-Length: 5\r\nConnection: close\r\n\r\nmoved");
    EXPECT_EQ(Exchange("GET /2 HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"),
              "HTTP/1.1 429 Too Many Requests\r\nRetry-After: 120\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(Exchange("GET /3 HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"),
              "HTTP/1.1 503 Resting\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}");
    EXPECT_EQ(Exchange("GET /4 HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"),
              "HTTP/1.1 404 Not Found\r\nContent-Type: application/json\r\nContent-Length: 94\r\n"
              "Connection: close\r\n\r\n{\"error\":{\"code\":\"not_found\",\"message\":\"Nothing is served at this path.\","
              "\"reason\":\"no_route\"}}");
}

TEST_F(ScriptedAnswers, AScriptedLengthOrConnectionLineReplacesTheServicesOwn) {
    service.Script(ScriptedAnswer::Status(200, "abcdef", {"content-length: 3", "Connection: keep-alive"}));
    EXPECT_EQ(Exchange("GET / HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"),
              "HTTP/1.1 200 OK\r\ncontent-length: 3\r\nConnection: keep-alive\r\n\r\nabcdef");
}

TEST_F(ScriptedAnswers, GeneratedBodiesOfThirtyTwoMebibytesAndOneMoreArriveWhole) {
    for (const uint64_t size : {uint64_t{33554432}, uint64_t{33554433}}) {
        service.Script(ScriptedAnswer::Generated(size));
        const std::string answer = Exchange("GET /files/big HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n");
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                                 "\r\nConnection: close\r\n\r\n";
        ASSERT_EQ(answer.size(), head.size() + size);
        EXPECT_EQ(answer.substr(0, head.size()), head);
        EXPECT_TRUE(answer.compare(head.size(), std::string::npos, GeneratedBody(size)) == 0)
            << "the generated body differs";
    }
}

// A connection kept alive takes a next request; a chunked body comes in several chunks and its
// last, and an answer that closes ends the connection after it.
TEST_F(ScriptedAnswers, AKeptAliveConnectionTakesANextRequestAndAChunkedBodyComesInChunks) {
    service.Script({ScriptedAnswer::Status(200, "first").KeepAlive(), ScriptedAnswer::Generated(100000).Chunked().Uneven()});
    TlsTestClient client(service.Port(), ServicePki().caCertificatePem);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send("GET /1 HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"));
    std::string answer;
    ASSERT_EQ(client.ReceiveAnswer(answer), End::Enough);
    EXPECT_EQ(answer, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: keep-alive\r\nKeep-Alive: timeout=5\r\n\r\nfirst");

    answer.clear();
    ASSERT_TRUE(client.Send("GET /2 HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"));
    ASSERT_EQ(client.ReceiveAnswer(answer), End::Enough);
    const HttpReply reply = ParseReply(answer);
    EXPECT_EQ(reply.Header("Transfer-Encoding"), "chunked");
    EXPECT_EQ(reply.Header("Content-Length"), std::nullopt);
    EXPECT_EQ(reply.Header("Connection"), "close");
    EXPECT_GT(reply.chunks, 3u);
    EXPECT_TRUE(reply.body == GeneratedBody(100000)) << reply.body.size() << " bytes";
    EXPECT_EQ(answer.substr(answer.size() - 5), "0\r\n\r\n");
    std::string rest;
    EXPECT_EQ(client.Receive(rest), End::Closed);
    EXPECT_EQ(rest, "");

    const std::vector<RecordedRequest> requests = service.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].connection, requests[0].connection);
    EXPECT_EQ(service.Connections(), 1u);
}

TEST_F(ScriptedAnswers, ADroppedConnectionEndsWithoutAByteAfterTheRequestIsRecorded) {
    service.Script({ScriptedAnswer::DropConnection(), ScriptedAnswer::DropConnection().After(50ms)});
    for (int i = 0; i < 2; ++i) {
        TlsTestClient client(service.Port(), ServicePki().caCertificatePem);
        ASSERT_TRUE(client.Connected());
        ASSERT_TRUE(client.Send("POST /api HTTP/1.1\r\n" + AddOnHeaderLines() +
                                "Content-Type: application/json\r\nContent-Length: 2\r\n\r\n{}"));
        std::string answer;
        EXPECT_EQ(client.Receive(answer), End::Cut);
        EXPECT_EQ(answer, "");
    }
    ASSERT_EQ(service.Requests().size(), 2u);
    EXPECT_EQ(service.Requests()[1].body, "{}");
}

TEST_F(ScriptedAnswers, ADelayedAnswerComesWholeAfterItsDelay) {
    service.Script(ScriptedAnswer::Status(200, "late").After(100ms));
    EXPECT_EQ(Exchange("GET / HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"), "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nlate");
}

TEST_F(ScriptedAnswers, ALongDelayHoldsTheAnswerBackUntilTheServiceStops) {
    service.Script(ScriptedAnswer::Status(200, "too late").After(10min));
    TlsTestClient client(service.Port(), ServicePki().caCertificatePem);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"));
    std::string answer;
    EXPECT_EQ(client.Receive(answer, 300ms), End::Quiet);
    service.Stop();
    EXPECT_EQ(client.Receive(answer), End::Cut);
    EXPECT_EQ(answer, "");
}

TEST_F(ScriptedAnswers, AHeldConnectionGetsNoAnswerAndFreesTheServiceWhenTheClientLeaves) {
    service.Script({ScriptedAnswer::NeverAnswer(), ScriptedAnswer::Status(200, "next")});
    {
        TlsTestClient held(service.Port(), ServicePki().caCertificatePem);
        ASSERT_TRUE(held.Connected());
        ASSERT_TRUE(held.Send("GET /wait HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"));
        std::string answer;
        EXPECT_EQ(held.Receive(answer, 300ms), End::Quiet);
        EXPECT_EQ(answer, "");
        held.Close();
    }
    EXPECT_EQ(Exchange("GET /next HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"),
              "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nnext");
}

TEST_F(ScriptedAnswers, StoppingEndsAHeldConnection) {
    service.Script(ScriptedAnswer::NeverAnswer());
    TlsTestClient held(service.Port(), ServicePki().caCertificatePem);
    ASSERT_TRUE(held.Connected());
    ASSERT_TRUE(held.Send("GET /wait HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"));
    ASSERT_TRUE(service.WaitForRequests(1, 20s));
    service.Stop();
    std::string answer;
    EXPECT_EQ(held.Receive(answer), End::Cut);
    EXPECT_EQ(answer, "");
}

TEST_F(ServiceCertificates, NameTheServiceHostAndLocalhostAndChainToTheirOwnCaOnly) {
    for (const char* name : {"app.ovra.example", "localhost"}) {
        TlsTestClient client(service.Port(), ServicePki().caCertificatePem, name);
        EXPECT_TRUE(client.Connected()) << name;
    }
    TlsTestClient otherName(service.Port(), ServicePki().caCertificatePem, "other.example");
    EXPECT_FALSE(otherName.Connected());
    const TestPki stranger = MakeTestPki();
    TlsTestClient otherCa(service.Port(), stranger.caCertificatePem);
    EXPECT_FALSE(otherCa.Connected());
    // The service survives failed handshakes.
    EXPECT_EQ(Exchange("GET / HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n").substr(0, 12), "HTTP/1.1 404");
    EXPECT_EQ(service.Connections(), 5u);
}

TEST(ServiceCertificatesMaking, RefusesNamesThatAreNotDnsNames) {
    EXPECT_THROW(MakeTestPki({}), std::runtime_error);
    EXPECT_THROW(MakeTestPki({"a.example,DNS:evil.example"}), std::runtime_error);
}
}  // namespace
