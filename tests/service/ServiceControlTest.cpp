// The control interface of the standalone service: answers scripted and the record read back
// through it arrive byte for byte, bad scripts are refused with their reason, and the program
// itself starts, writes its state, serves and stops on request.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <rapidjson/document.h>

#include <sstream>
#include <thread>

#include "service/TlsTestClient.h"
#include "sim/service/ControlServer.h"
#include "sim/service/ControlSocket.h"
#include "sim/service/ServiceControl.h"
#include "sim/service/ServiceJson.h"
#include "sim/service/SimService.h"
#include "support/ExpectedViolations.h"
#include "support/ScratchFolders.h"

extern char** environ;

namespace {
using namespace std::chrono_literals;
using namespace std::string_literals;

const TestPki& Pki() {
    static const TestPki pki = MakeTestPki();
    return pki;
}

class ControlInterface : public ::testing::Test {
protected:
    void SetUp() override {
        service.Start();
        control.Start(0, 600s);
    }
    void TearDown() override { violations.Check(service.Violations()); }

    // One raw call: the status code and the body of the answer.
    std::pair<int, std::string> Call(const std::string& method, const std::string& target, const std::string& body) {
        const std::string answer = ExchangeWithLoopback(
            control.Port(),
            method + " " + target + " HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
            20s, 1 << 20);
        const size_t headEnd = answer.find("\r\n\r\n");
        if (answer.size() < 12 || headEnd == std::string::npos) return {0, answer};
        return {std::stoi(answer.substr(9, 3)), answer.substr(headEnd + 4)};
    }

    SimService service{Pki()};
    ControlServer control{service};
    ExpectedViolations violations;
};

TEST_F(ControlInterface, CarriesAnswersAndTheRecordByteForByte) {
    // Raw requests without the add-on's lines: their breaches travel in the record too.
    violations.Expect("no X-Ovra-Plugin header");
    violations.Expect("no Accept-Language header");
    violations.Expect("POST /up: a JSON body without Content-Type: application/json");
    ServiceControl client(control.Port());
    ScriptedAnswer binary = ScriptedAnswer::Status(200, "bin\0\xE9\xE2\x80\x9C\n"s, {"X-Note: caf\xC3\xA9", "Retry-After: 7"});
    binary.reason = "Fine \xFF";
    client.Script({binary, ScriptedAnswer::Generated(1000).After(20ms)});
    client.Script(ScriptedAnswer::DropConnection());
    client.Script(ScriptedAnswer::Status(204).For("/later"));
    EXPECT_EQ(service.QueuedAnswers(), 4u);

    const std::string upload = "POST /up HTTP/1.1\r\nX-Name: \xC3\xA9t\xE9\r\nContent-Length: 6\r\n\r\n\0\x01\xFF\r\n\""s;
    EXPECT_EQ(ExchangeTls(service.Port(), Pki().caCertificatePem, upload),
              "HTTP/1.1 200 Fine \xFF\r\nX-Note: caf\xC3\xA9\r\nRetry-After: 7\r\nContent-Length: 9\r\n"
              "Connection: close\r\n\r\nbin\0\xE9\xE2\x80\x9C\n"s);
    EXPECT_EQ(ExchangeTls(service.Port(), Pki().caCertificatePem, "GET /big HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" + GeneratedBody(1000));
    EXPECT_EQ(ExchangeTls(service.Port(), Pki().caCertificatePem, "DELETE /x HTTP/1.1\r\n\r\n"), "");
    EXPECT_EQ(ExchangeTls(service.Port(), Pki().caCertificatePem, "GET /later?soon HTTP/1.1\r\n\r\n").substr(0, 12),
              "HTTP/1.1 204");

    const ServiceRecord record = client.Record();
    EXPECT_EQ(record.connections, 4u);
    ASSERT_EQ(record.requests.size(), 4u);
    EXPECT_EQ(record.requests[0].requestLine, "POST /up HTTP/1.1");
    EXPECT_EQ(record.requests[0].headerLines,
              (std::vector<std::string>{"X-Name: \xC3\xA9t\xE9", "Content-Length: 6"}));
    EXPECT_EQ(record.requests[0].body, "\0\x01\xFF\r\n\""s);
    EXPECT_EQ(record.requests[2].requestLine, "DELETE /x HTTP/1.1");
    EXPECT_EQ(record.requests[2].connection, 3u);
    EXPECT_EQ(record.violations, service.Violations());
    ASSERT_EQ(record.violations.size(), 9u);
    EXPECT_EQ(record.violations[2], "POST /up: a JSON body without Content-Type: application/json");
}

// How an answer goes on the wire travels too: here chunked, on a connection kept alive, in
// uneven writes (a body this short is one chunk and one piece).
TEST_F(ControlInterface, CarriesHowAnAnswerGoesOnTheWire) {
    ServiceControl(control.Port()).Script(ScriptedAnswer::Status(200, "abc").Chunked().KeepAlive().Uneven());
    TlsTestClient client(service.Port(), Pki().caCertificatePem);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send("GET /x HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"));
    std::string answer;
    EXPECT_EQ(client.ReceiveAnswer(answer), TlsTestClient::End::Enough);
    EXPECT_EQ(answer, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: keep-alive\r\nKeep-Alive: timeout=5\r\n\r\n"
                      "3\r\nabc\r\n0\r\n\r\n");
}

TEST_F(ControlInterface, RefusesBadScriptsWithTheirReason) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"status":99})", R"(\"status\" must be a whole number from 100 to 999)"},
        {R"({"body":"\u0100"})", "code point above U+00FF"},
        {R"({"headers":["A: 1\r\nB: 2"]})", "must not hold CR or LF"},
        {R"({"action":"wait"})", R"(\"action\" must be)"},
        {R"({"delayMs":-1})", R"(\"delayMs\" must be a whole number)"},
        {R"({"header":["A: 1"]})", R"(unknown member \"header\")"},
        {R"([{"status":200},7])", "an answer must be a JSON object"},
        {R"({"status":200)", "not JSON"},
        {R"({"path":"api/v1/me"})", R"(\"path\" must begin with)"},
        {R"({"path":"/api/v1/me?x=1"})", "hold no query"},
        {R"({"chunked":1})", R"(\"chunked\" must be true or false)"},
    };
    for (const auto& [script, reason] : cases) {
        const auto [status, body] = Call("POST", "/script", script);
        EXPECT_EQ(status, 400) << script;
        EXPECT_NE(body.find(reason), std::string::npos) << script << " gave " << body;
    }
    EXPECT_EQ(service.QueuedAnswers(), 0u);
    EXPECT_EQ(Call("GET", "/script", "").first, 404);
    EXPECT_EQ(Call("POST", "/records", "").first, 404);

    try {
        ServiceControl(control.Port()).Script(ScriptedAnswer::Status(42));
        ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("from 100 to 999"), std::string::npos) << e.what();
    }
}

TEST_F(ControlInterface, ResetEmptiesEverythingAndQuitIsAnsweredThenReported) {
    ServiceControl client(control.Port());
    client.Script(ScriptedAnswer::Status(204));
    // A bare request breaks the rules; the reset forgets its violations and the rules set since.
    ExchangeTls(service.Port(), Pki().caCertificatePem, "GET / HTTP/1.1\r\n\r\n");
    client.SetExpectedLanguage("es");
    client.Script(ScriptedAnswer::Status(204));
    client.Reset();
    const ServiceRecord record = client.Record();
    EXPECT_EQ(record.connections, 0u);
    EXPECT_TRUE(record.requests.empty());
    EXPECT_TRUE(record.violations.empty());
    EXPECT_EQ(service.QueuedAnswers(), 0u);
    EXPECT_EQ(service.Rules().language, "en");

    EXPECT_FALSE(control.WaitForQuit(0ms));
    client.Quit();
    EXPECT_TRUE(control.WaitForQuit(20s));
}

std::string Member(const std::string& json, const char* name) {
    rapidjson::Document document;
    document.Parse(json.data(), json.size());
    if (!document.IsObject() || !document.HasMember(name)) return "<absent>";
    const rapidjson::Value& value = document[name];
    return value.IsString() ? value.GetString() : value.IsInt64() ? std::to_string(value.GetInt64()) : "<other>";
}

std::string ErrorCode(const std::string& json) {
    rapidjson::Document document;
    document.Parse(json.data(), json.size());
    if (!document.IsObject() || !document.HasMember("error") || !document["error"].IsObject()) return "<absent>";
    return document["error"]["code"].GetString();
}

TEST_F(ControlInterface, ActsOnTheAccountInTheUsersPlace) {
    ServiceControl client(control.Port());
    // As the add-on sends them: JSON bodies with their type, uploads with a type and a name, paid
    // calls with a key.
    const auto call = [&](const std::string& method, const std::string& target, const std::string& token = {},
                          const std::string& body = {}) {
        std::vector<std::string> lines;
        if (target == "/api/v1/uploads") lines = {"Content-Type: application/octet-stream", "x-filename: upload.bin"};
        else if (!body.empty()) lines = {"Content-Type: application/json"};
        if (target == "/api/v1/generations") lines.push_back("Idempotency-Key: k-" + std::to_string(service.Requests().size()));
        return CallService(service.Port(), Pki().caCertificatePem, method, target, token, body, lines);
    };
    const std::string token = client.IssueToken();
    client.SetCredits(3);
    EXPECT_EQ(Member(call("GET", "/api/v1/me", token).body, "credits"), "3");
    EXPECT_EQ(client.Account().credits, 3);

    // A device code decided through the control interface.
    const std::string deviceCode = Member(call("POST", "/api/v1/device/start", {}, R"({"name":"N"})").body, "device_code");
    const std::vector<DeviceState> devices = client.Devices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].deviceCode, deviceCode);
    EXPECT_EQ(devices[0].name, "N");
    EXPECT_TRUE(client.DecideDevice(devices[0].userCode, DeviceDecision::Deny));
    EXPECT_FALSE(client.DecideDevice(devices[0].userCode, DeviceDecision::Approve));
    const std::string poll = R"({"device_code":")" + deviceCode + R"("})";
    EXPECT_EQ(ErrorCode(call("POST", "/api/v1/device/token", {}, poll).body), "denied");

    client.SetApproveAtFirstPoll(true);
    const std::string second = Member(call("POST", "/api/v1/device/start").body, "device_code");
    EXPECT_NE(Member(call("POST", "/api/v1/device/token", {}, R"({"device_code":")" + second + R"("})").body, "token"),
              "<absent>");
    EXPECT_EQ(client.Account().activeTokens, 2u);

    // A job that fails at once, read back with the upload it used.
    client.SetPollsUntilDone(1);
    client.FailNextJobs(1);
    const std::string upload = Member(call("POST", "/api/v1/uploads", token, "bytes").body, "id");
    const std::string job = Member(call("POST", "/api/v1/generations", token, R"({"upload_id":")" + upload + R"("})").body, "id");
    EXPECT_EQ(client.Account().credits, 2);
    EXPECT_EQ(Member(call("GET", "/api/v1/jobs/" + job, token).body, "status"), "failed");
    const std::vector<JobState> jobs = client.Jobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].status, "failed");
    EXPECT_EQ(jobs[0].uploadId, upload);
    ASSERT_EQ(client.Uploads().size(), 1u);
    EXPECT_EQ(client.Uploads()[0].filename, "upload.bin");
    EXPECT_EQ(client.Account().credits, 3);

    client.SetPluginStatus(PluginStatus::Outdated);
    EXPECT_EQ(call("GET", "/api/v1/me", token).status, 426);
    client.SetPluginStatus(PluginStatus::Current);
    EXPECT_EQ(call("GET", "/api/v1/me", token).status, 200);

    EXPECT_TRUE(client.RevokeToken(token));
    EXPECT_FALSE(client.RevokeToken(token));
    EXPECT_EQ(call("GET", "/api/v1/me", token).status, 401);

    const std::string lines = client.RecordJsonLines();
    EXPECT_EQ(static_cast<size_t>(std::count(lines.begin(), lines.end(), '\n')), service.Requests().size());
    EXPECT_EQ(lines, RecordToJsonLines(service.Record()));

    // The rules, set in the user's language and for a test that sends paid calls without a key.
    client.SetExpectedLanguage("pt-BR");
    client.SetIdempotencyKeysRequired(false);
    EXPECT_EQ(service.Rules().language, "pt-BR");
    EXPECT_FALSE(service.Rules().idempotencyKeys);
    violations.Expect("GET /api/v1/plugin/config: Accept-Language is \"en\", expected \"pt-BR\"");
    call("GET", "/api/v1/plugin/config");
}

TEST_F(ControlInterface, RefusesBadAccountCallsWithoutApplyingAnyPart) {
    const std::pair<std::string, std::string> cases[] = {
        {"/settings", R"({"credits":"many"})"},
        {"/settings", R"({"credits":1,"speed":2})"},
        {"/settings", R"({"approveAtFirstPoll":1})"},
        {"/settings", "[]"},
        {"/settings", R"({"credits":2,"plugin":"old"})"},
        {"/settings", R"({"credits":2,"language":7})"},
        {"/settings", R"({"credits":2,"idempotencyKeys":"no"})"},
        {"/device", R"({"code":"x","decision":"maybe"})"},
        {"/device", R"({"decision":"approve"})"},
        {"/revoke", "{}"},
    };
    for (const auto& [target, body] : cases) {
        const auto [status, answer] = Call("POST", target, body);
        EXPECT_EQ(status, 400) << target << " " << body;
        EXPECT_EQ(answer.rfind("{\"error\":\"", 0), 0u) << answer;
    }
    EXPECT_EQ(service.Routes().Account().credits, 10);
    EXPECT_EQ(Call("GET", "/token", "").first, 404);
    EXPECT_EQ(Call("POST", "/account", "").first, 404);
}

TEST(ControlClient, FailsWhenNothingListens) {
    uint16_t closedPort = 0;
    {
        SimService service(Pki());
        ControlServer control(service);
        control.Start(0, 600s);
        closedPort = control.Port();
    }
    EXPECT_THROW(ServiceControl(closedPort).Record(), std::runtime_error);
}

class StandaloneProgram {
public:
    StandaloneProgram(const std::filesystem::path& stateDir, std::vector<std::string> more) {
        std::vector<std::string> arguments = {TOVR_SERVICE_PROGRAM, "--state-dir", stateDir.string(), "--lifetime", "300"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
    }
    ~StandaloneProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    StandaloneProgram(const StandaloneProgram&) = delete;
    StandaloneProgram& operator=(const StandaloneProgram&) = delete;

    bool Started() const { return pid_ > 0; }
    // The exit status once the program ends by itself within 20 s; -1 when it does not.
    int WaitForExit() {
        for (int i = 0; i < 400; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(50ms);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
};

TEST(StandaloneService, WritesItsStateServesThroughItAndQuitsWhenAsked) {
    ScratchFolders folders;
    const std::filesystem::path stateDir = folders.root() / "service";
    StandaloneProgram program(stateDir, {"--credits", "4", "--approve"});
    ASSERT_TRUE(program.Started());
    std::optional<ServiceEndpoints> endpoints;
    for (int i = 0; i < 400 && !endpoints; ++i) {
        std::this_thread::sleep_for(50ms);
        endpoints = ReadServiceEndpoints(stateDir);
    }
    ASSERT_TRUE(endpoints) << "no ports file";
    const std::string caPem = ReadFileText(endpoints->caPemFile);
    ASSERT_EQ(caPem.rfind("-----BEGIN CERTIFICATE-----\n", 0), 0u);

    ServiceControl control(endpoints->controlPort);
    control.Script(ScriptedAnswer::Status(401, R"({"error":"unauthorized"})"));
    EXPECT_EQ(ExchangeTls(endpoints->servicePort, caPem, "GET /api/v1/me HTTP/1.1\r\nAuthorization: Bearer t\r\n\r\n"),
              "HTTP/1.1 401 Unauthorized\r\nContent-Length: 24\r\nConnection: close\r\n\r\n{\"error\":\"unauthorized\"}");
    const ServiceRecord record = control.Record();
    ASSERT_EQ(record.requests.size(), 1u);
    EXPECT_EQ(record.requests[0].headerLines, std::vector<std::string>{"Authorization: Bearer t"});
    // The program holds requests to the rules as the in-process service does.
    EXPECT_EQ(record.violations, (std::vector<std::string>{"GET /api/v1/me: no X-Ovra-Plugin header",
                                                           "GET /api/v1/me: no Accept-Language header, expected \"en\""}));

    // Its own routes, with the account the options asked for.
    const std::string token = control.IssueToken();
    const HttpReply me = CallService(endpoints->servicePort, caPem, "GET", "/api/v1/me", token);
    EXPECT_EQ(me.status, 200);
    EXPECT_NE(me.body.find(R"("credits":4)"), std::string::npos) << me.body;
    const HttpReply start = CallService(endpoints->servicePort, caPem, "POST", "/api/v1/device/start");
    const std::string deviceCode = control.Devices().at(0).deviceCode;
    EXPECT_NE(start.body.find(deviceCode), std::string::npos);
    const HttpReply signedIn = CallService(endpoints->servicePort, caPem, "POST", "/api/v1/device/token", {},
                                           R"({"device_code":")" + deviceCode + R"("})", {"Content-Type: application/json"});
    EXPECT_EQ(signedIn.status, 200) << signedIn.body;
    EXPECT_EQ(control.Account().activeTokens, 2u);
    EXPECT_EQ(control.Record().violations.size(), 2u) << "the add-on's own requests break no rule";

    control.Quit();
    EXPECT_EQ(program.WaitForExit(), 0);
    EXPECT_FALSE(std::filesystem::exists(stateDir / "ports"));
}
}  // namespace
