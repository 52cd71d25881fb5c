// The simulator's scripted mode with the simulated service, run as a child process: a sign-in
// approved by the service, a request with the new token and a sign-out, and the service's record
// written at exit. (Device codes and tokens are random, so the output is checked here rather than
// compared byte for byte with a case file.)
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <stdio.h>
#include <sys/wait.h>

#include <sstream>

#include "support/ScratchFolders.h"

namespace {

struct SimRun {
    int status = -1;
    std::vector<std::string> lines;  // standard output
};

// Runs tamsel-sim with the arguments, its data and configuration in the scratch folders.
SimRun RunSim(const ScratchFolders& folders, const std::string& arguments) {
    const std::string command = "XDG_DATA_HOME='" + folders.dataRoot().string() + "' XDG_CONFIG_HOME='" +
                                folders.configRoot().string() + "' '" + TOVR_SIM_PROGRAM + "' " + arguments +
                                " 2>&1";
    SimRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);) run.lines.push_back(line);
    return run;
}

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
    std::istringstream stream(ReadFileText(file));
    std::vector<std::string> lines;
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// One request of the record: method, path, header lines and body text.
struct Recorded {
    std::string method, path, body;
    std::vector<std::string> headers;
    uint64_t bodySize = 0;
};

Recorded ParseRecorded(const std::string& line) {
    rapidjson::Document d;
    d.Parse(line.data(), line.size());
    Recorded r;
    if (d.HasParseError() || !d.IsObject()) return r;
    r.method = d["method"].GetString();
    r.path = d["path"].GetString();
    for (const auto& h : d["headers"].GetArray()) r.headers.push_back(h.GetString());
    r.bodySize = d["bodySize"].GetUint64();
    if (d.HasMember("body")) r.body = d["body"].GetString();
    return r;
}

std::string HeaderValue(const Recorded& r, const std::string& name) {
    for (const std::string& h : r.headers)
        if (h.rfind(name + ": ", 0) == 0) return h.substr(name.size() + 2);
    return {};
}

TEST(ScriptedService, SignInWithApprovalThenAskAndSignOut) {
    ScratchFolders folders;
    const auto requests = folders.root() / "sign-in.requests";
    WriteFileText(requests,
                  R"({"id":"start","type":"api","payload":{"method":"POST","path":"/api/v1/device/start","body":{"scope":"render"}}})"
                  "\n"
                  R"({"id":"token","type":"api","payload":{"method":"POST","path":"/api/v1/device/token","body":{"device_code":{{start.result.device_code}}}}})"
                  "\n"
                  R"({"id":"me","type":"api","payload":{"method":"GET","path":"/api/v1/me","options":{"noCache":{{token.result.authenticated}}}}})"
                  "\n"
                  R"({"id":"out","type":"api","payload":{"method":"DELETE","path":"/api/v1/device/tokens/current","options":{"after":{{me.result.id}}}}})"
                  "\n"
                  R"({"id":"state","type":"getState","payload":{"after":{{out.result}}}})"
                  "\n");
    const auto record = folders.root() / "record.jsonl";
    const SimRun run = RunSim(folders, "requests --approve '" + requests.string() + "' --credits 7 --service-record '" +
                                        record.string() + "'");
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    ASSERT_EQ(run.lines.size(), 5u) << ::testing::PrintToString(run.lines);
    EXPECT_EQ(run.lines[0].rfind(R"({"id":"start","ok":true,"result":{"device_code":")", 0), 0u) << run.lines[0];
    EXPECT_EQ(run.lines[1], R"({"id":"token","ok":true,"result":{"authenticated":true}})");
    EXPECT_EQ(run.lines[2], R"({"id":"me","ok":true,"result":{"id":"acct_1","email":"architect@ovra.example",)"
                            R"("name":"Simulated Architect","credits":7}})");
    EXPECT_EQ(run.lines[3], R"({"id":"out","ok":true,"result":{}})");
    EXPECT_NE(run.lines[4].find(R"("session":{"authenticated":false,"reason":null)"), std::string::npos) << run.lines[4];

    const std::vector<std::string> lines = ReadLines(record);
    ASSERT_EQ(lines.size(), 4u);
    const Recorded start = ParseRecorded(lines[0]), token = ParseRecorded(lines[1]), me = ParseRecorded(lines[2]),
                   out = ParseRecorded(lines[3]);
    EXPECT_EQ(start.method + " " + start.path, "POST /api/v1/device/start");
    EXPECT_EQ(start.body.rfind(R"({"scope":"render","name":"Archicad 30)", 0), 0u) << start.body;
    EXPECT_EQ(start.bodySize, start.body.size());
    EXPECT_EQ(token.method + " " + token.path, "POST /api/v1/device/token");
    EXPECT_EQ(HeaderValue(token, "Authorization"), "");
    EXPECT_EQ(me.method + " " + me.path, "GET /api/v1/me");
    const std::string bearer = HeaderValue(me, "Authorization");
    EXPECT_EQ(bearer.rfind("Bearer ", 0), 0u);
    EXPECT_GT(bearer.size(), 7u);
    EXPECT_EQ(HeaderValue(me, "Cache-Control"), "no-cache");
    EXPECT_EQ(out.method + " " + out.path, "DELETE /api/v1/device/tokens/current");
    EXPECT_EQ(HeaderValue(out, "Authorization"), bearer) << "the sign-out carries the token it signs out";
    // The token went on the wire only; nothing the add-on wrote holds it.
    const std::string log = ReadFileText(folders.dataFolder() / "host.log");
    EXPECT_NE(log.find("signed in; token saved"), std::string::npos);
    EXPECT_EQ(log.find(bearer.substr(7)), std::string::npos);
}

TEST(ScriptedService, SignedInStartsWithAStoredTokenAndRecordsOnlyTheRun) {
    ScratchFolders folders;
    const auto requests = folders.root() / "me.requests";
    WriteFileText(requests, R"({"id":"me","type":"api","payload":{"method":"GET","path":"/api/v1/me"}})"
                            "\n");
    const auto record = folders.root() / "record.jsonl";
    const SimRun run = RunSim(folders, "--signed-in --service-record '" + record.string() + "' requests '" +
                                        requests.string() + "'");
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    ASSERT_EQ(run.lines.size(), 1u) << ::testing::PrintToString(run.lines);
    EXPECT_NE(run.lines[0].find(R"("credits":10)"), std::string::npos) << run.lines[0];
    const std::vector<std::string> lines = ReadLines(record);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ParseRecorded(lines[0]).path, "/api/v1/me");
    EXPECT_TRUE(std::filesystem::exists(folders.dataFolder() / "token.dpapi"));
}

TEST(ScriptedService, WithoutTheServiceATokenRequestIsRevokedAndServiceOptionsNeedIt) {
    ScratchFolders folders;
    const auto requests = folders.root() / "me.requests";
    WriteFileText(requests, R"({"id":"me","type":"api","payload":{"method":"GET","path":"/api/v1/me"}})"
                            "\n");
    const SimRun run = RunSim(folders, "requests '" + requests.string() + "'");
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 1u);
    EXPECT_NE(run.lines[0].find(R"("code":"revoked")"), std::string::npos);
    const SimRun refused = RunSim(folders, "requests '" + requests.string() + "' --credits 3");
    EXPECT_EQ(refused.status, 2);
    ASSERT_FALSE(refused.lines.empty());
    EXPECT_EQ(refused.lines[0],
              "tamsel-sim: --credits needs the simulated service (--service, --signed-in or --approve)");
}

}  // namespace
