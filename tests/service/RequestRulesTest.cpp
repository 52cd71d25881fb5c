// The rules the simulated service holds each request to, one group of cases a rule: what breaks
// it, what does not, and the line each breach is recorded as.
#include <gtest/gtest.h>

#include <utility>

#include "sim/service/RequestRules.h"

namespace {

const std::string kPlugin = "X-Ovra-Plugin: " + RequestRules().plugin;

// A request as the add-on sends it, with `more` header lines and `body`.
RecordedRequest Request(const std::string& method, const std::string& target, std::vector<std::string> more = {},
                        const std::string& body = {}) {
    RecordedRequest request;
    request.requestLine = method + " " + target + " HTTP/1.1";
    request.headerLines = {"Host: app.ovra.example", kPlugin, "Accept-Language: en"};
    request.headerLines.insert(request.headerLines.end(), more.begin(), more.end());
    request.body = body;
    return request;
}

using Lines = std::vector<std::string>;

TEST(RequestRules, TheAddOnsOwnRequestsBreakNone) {
    const RecordedRequest requests[] = {
        Request("GET", "/api/v1/plugin/config"),
        Request("POST", "/api/v1/device/start", {"Content-Type: application/json"}, R"({"name":"A"})"),
        Request("POST", "/api/v1/device/token", {"Content-Type: application/json; charset=utf-8"}, "{}"),
        Request("GET", "/api/v1/me", {"Authorization: Bearer t"}),
        Request("POST", "/api/v1/uploads?source=capture",
                {"Authorization: Bearer t", "Content-Type: image/jpeg", "x-filename: a.jpg"}, "\xFF\xD8"),
        Request("POST", "/api/v1/generations",
                {"Authorization: Bearer t", "Content-Type: application/json", "Idempotency-Key: k1"}, "{}"),
        Request("POST", "/api/v1/animation-video", {"Authorization: Bearer t", "Idempotency-Key: k2"}),
        Request("GET", "/files/job_1/result.png", {"Authorization: Bearer t"}),
        Request("DELETE", "/api/v1/device/tokens/current", {"Authorization: Bearer t"}),
    };
    for (const RecordedRequest& request : requests)
        EXPECT_EQ(RuleBreaches(request, RequestRules()), Lines{}) << request.requestLine;
}

TEST(RequestRules, TheIdentificationMustBeTheAddOns) {
    RecordedRequest missing = Request("GET", "/api/v1/me?x=1");
    missing.headerLines.erase(missing.headerLines.begin() + 1);
    EXPECT_EQ(RuleBreaches(missing, RequestRules()), Lines{"GET /api/v1/me: no X-Ovra-Plugin header"});
    RecordedRequest other = Request("GET", "/api/v1/me");
    other.headerLines[1] = "x-ovra-plugin: tamsel-ovra/1.0.0";
    EXPECT_EQ(RuleBreaches(other, RequestRules()),
              Lines{"GET /api/v1/me: X-Ovra-Plugin is \"tamsel-ovra/1.0.0\", not the add-on's \"" + RequestRules().plugin +
                    "\""});
}

TEST(RequestRules, TheLanguageMustBeTheExpectedOne) {
    RequestRules portuguese;
    portuguese.language = "pt-BR";
    EXPECT_EQ(RuleBreaches(Request("GET", "/api/v1/me"), portuguese),
              Lines{"GET /api/v1/me: Accept-Language is \"en\", expected \"pt-BR\""});
    RecordedRequest missing = Request("GET", "/api/v1/me");
    missing.headerLines.pop_back();
    EXPECT_EQ(RuleBreaches(missing, RequestRules()),
              Lines{"GET /api/v1/me: no Accept-Language header, expected \"en\""});
}

TEST(RequestRules, BodiesCarryTheirTypeAndUploadsTheirName) {
    const RequestRules rules;
    EXPECT_EQ(RuleBreaches(Request("POST", "/api/v1/device/start", {}, "{}"), rules),
              Lines{"POST /api/v1/device/start: a JSON body without Content-Type: application/json"});
    EXPECT_EQ(RuleBreaches(Request("POST", "/api/v1/device/start", {"Content-Type:"}, "{}"), rules),
              Lines{"POST /api/v1/device/start: a JSON body without Content-Type: application/json"});
    EXPECT_EQ(RuleBreaches(Request("POST", "/api/v1/uploads", {}, "bytes"), rules),
              (Lines{"POST /api/v1/uploads: a binary upload without Content-Type",
                     "POST /api/v1/uploads: a binary upload without x-filename"}));
    EXPECT_EQ(RuleBreaches(Request("PUT", "/v1/elsewhere", {"Content-Type: image/png"}, "png"), rules),
              Lines{"PUT /v1/elsewhere: a binary upload without x-filename"});
    EXPECT_EQ(RuleBreaches(Request("PUT", "/v1/elsewhere", {"x-filename: a.png"}, "png"), rules),
              Lines{"PUT /v1/elsewhere: a binary upload without Content-Type"});
    // Without a body there is nothing to type; a download's body is the answer's.
    EXPECT_EQ(RuleBreaches(Request("POST", "/api/v1/device/start"), rules), Lines{});
    EXPECT_EQ(RuleBreaches(Request("GET", "/files/job_1/result.png", {}, "stray"), rules),
              Lines{"GET /files/job_1/result.png: a JSON body without Content-Type: application/json"});
}

TEST(RequestRules, NoTokenGoesToTheSignInOrTheConfiguration) {
    const std::pair<const char*, const char*> endpoints[] = {
        {"GET", "/api/v1/plugin/config"}, {"POST", "/api/v1/device/start"}, {"POST", "/api/v1/device/token"}};
    for (const auto& [method, path] : endpoints)
        EXPECT_EQ(RuleBreaches(Request(method, path, {"Authorization: Bearer secret-token"}), RequestRules()),
                  Lines{std::string(method) + " " + path + ": a token sent to a token-free endpoint"});
}

TEST(RequestRules, PaidCallsCarryAKeyUnlessTheTestSaysNone) {
    const RecordedRequest keyless = Request("POST", "/api/v1/generations?fast=1", {"Content-Type: application/json"}, "{}");
    EXPECT_EQ(RuleBreaches(keyless, RequestRules()), Lines{"POST /api/v1/generations: a paid call without Idempotency-Key"});
    EXPECT_EQ(RuleBreaches(Request("POST", "/v2/animation-video", {"Idempotency-Key:"}), RequestRules()),
              Lines{"POST /v2/animation-video: a paid call without Idempotency-Key"});
    EXPECT_EQ(RuleBreaches(Request("GET", "/api/v1/generations"), RequestRules()), Lines{}) << "only a POST is paid";
    RequestRules none;
    none.idempotencyKeys = false;
    EXPECT_EQ(RuleBreaches(keyless, none), Lines{});
}

}  // namespace
