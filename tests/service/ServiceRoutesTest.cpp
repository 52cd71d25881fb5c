// The simulated service's own routes over real TLS connections: the device sign-in, tokens and
// their revocation, credits and paid requests with idempotency keys, jobs polled to done, result
// files, uploads, the precedence of scripted answers, concurrent connections and the record's
// JSON lines.
#include <gtest/gtest.h>

#include <rapidjson/document.h>
#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "service/TlsTestClient.h"
#include "sim/service/ResultPicture.h"
#include "sim/service/ServiceJson.h"
#include "sim/service/SimService.h"
#include "support/ExpectedViolations.h"
#include "support/ScratchFolders.h"

namespace {
using namespace std::chrono_literals;
using namespace std::string_literals;

rapidjson::Document Json(const std::string& text) {
    rapidjson::Document document;
    document.Parse(text.data(), text.size());
    return document;
}

std::string Text(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject() || !object.HasMember(name) || !object[name].IsString()) return "<absent>";
    return object[name].GetString();
}

int64_t Number(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject() || !object.HasMember(name) || !object[name].IsInt64()) return -999;
    return object[name].GetInt64();
}

// The error body's code and reason, as "code/reason".
std::string ErrorOf(const HttpReply& reply) {
    const rapidjson::Document body = Json(reply.body);
    if (!body.IsObject() || !body.HasMember("error")) return "<no error body: " + reply.body + ">";
    const rapidjson::Value& error = body["error"];
    if (Text(error, "message") == "<absent>") return "<no message>";
    return Text(error, "code") + "/" + Text(error, "reason");
}

// A test picture: a colour gradient with a dark diagonal band.
RgbPicture Gradient(int width, int height) {
    RgbPicture picture;
    picture.width = width;
    picture.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool band = std::abs(x - y) < 10;
            picture.pixels.push_back(static_cast<uint8_t>(band ? 20 : x * 255 / width));
            picture.pixels.push_back(static_cast<uint8_t>(band ? 20 : y * 255 / height));
            picture.pixels.push_back(static_cast<uint8_t>(band ? 20 : 128));
        }
    return picture;
}

std::string EncodeJpegForTest(const RgbPicture& picture) {
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int result = tjCompress2(handle, picture.pixels.data(), picture.width, 0, picture.height, TJPF_RGB, &out,
                                   &size, TJSAMP_444, 90, 0);
    std::string jpeg = result == 0 ? std::string(reinterpret_cast<char*>(out), size) : std::string();
    tjFree(out);
    tjDestroy(handle);
    return jpeg;
}

// The mean absolute difference of two pictures of one size, per channel value.
double MeanDifference(const RgbPicture& a, const RgbPicture& b) {
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) sum += std::abs(int(a.pixels[i]) - int(b.pixels[i]));
    return sum / static_cast<double>(a.pixels.size());
}

class ServiceRoutesTest : public ::testing::Test {
protected:
    explicit ServiceRoutesTest(SimService::Options options = {}) : service(ServicePki(), options) {}
    void SetUp() override { service.Start(); }
    void TearDown() override { violations.Check(service.Violations()); }

    // As the add-on sends it: a body outside the uploads goes with the JSON type, and an upload
    // with a type and a name, unless `headers` name a type themselves.
    HttpReply Call(const std::string& method, const std::string& target, const std::string& token = {},
                   const std::string& body = {}, std::vector<std::string> headers = {}) {
        const bool typed = std::any_of(headers.begin(), headers.end(),
                                       [](const std::string& line) { return line.rfind("Content-Type:", 0) == 0; });
        if (!body.empty() && !typed) {
            if (target.rfind("/api/v1/uploads", 0) != 0) headers.push_back("Content-Type: application/json");
            else headers.insert(headers.end(), {"Content-Type: application/octet-stream", "x-filename: upload.bin"});
        }
        return CallService(service.Port(), ServicePki().caCertificatePem, method, target, token, body, headers);
    }

    // Starts a device sign-in; the answer's JSON.
    rapidjson::Document Start(const std::string& body = R"({"name":"Archicad 30 · PC","client":"archicad"})") {
        const HttpReply reply = Call("POST", "/api/v1/device/start", {}, body, {"Content-Type: application/json"});
        EXPECT_EQ(reply.status, 200) << reply.body;
        return Json(reply.body);
    }

    HttpReply PollToken(const std::string& deviceCode) {
        return Call("POST", "/api/v1/device/token", {}, R"({"device_code":")" + deviceCode + R"("})",
                    {"Content-Type: application/json"});
    }

    std::string Upload(const std::string& token, const std::string& bytes, const std::string& type = "image/jpeg") {
        const HttpReply reply = Call("POST", "/api/v1/uploads", token, bytes,
                                     {"Content-Type: " + type, "x-filename: view.jpg"});
        EXPECT_EQ(reply.status, 201) << reply.body;
        return Text(Json(reply.body), "id");
    }

    // With a fresh idempotency key unless `key` names one; an empty key sends none.
    HttpReply Generate(const std::string& token, const std::string& uploadId, std::optional<std::string> key = {},
                       const std::string& path = "/api/v1/generations") {
        if (!key) key = "fresh-" + std::to_string(++keysMade);
        std::vector<std::string> headers = {"Content-Type: application/json"};
        if (!key->empty()) headers.push_back("Idempotency-Key: " + *key);
        return Call("POST", path, token, R"({"upload_id":")" + uploadId + R"(","prompt":"dusk"})", headers);
    }

    // Polls the job until it is done or failed, at most 10 times; its last answer.
    rapidjson::Document PollJob(const std::string& token, const std::string& jobId) {
        rapidjson::Document job;
        for (int i = 0; i < 10; ++i) {
            job = Json(Call("GET", "/api/v1/jobs/" + jobId, token).body);
            if (Text(job, "status") == "done" || Text(job, "status") == "failed") break;
        }
        return job;
    }

    SimService service;
    ExpectedViolations violations;
    std::atomic<uint64_t> keysMade{0};
};

using DeviceSignIn = ServiceRoutesTest;
using Tokens = ServiceRoutesTest;
using PaidRequests = ServiceRoutesTest;
using Jobs = ServiceRoutesTest;
using ResultFiles = ServiceRoutesTest;
using Uploads = ServiceRoutesTest;
using Routing = ServiceRoutesTest;

TEST_F(DeviceSignIn, StartAnswersTheDeviceGrantOnTheServicesSiteAndKeepsTheBodysMembers) {
    const rapidjson::Document first = Start(R"({"client":"archicad","locale":"pt-BR","name":"Archicad 30 · PC"})");
    const std::string userCode = Text(first, "user_code");
    EXPECT_TRUE(std::regex_match(userCode, std::regex("[B-DF-HJ-NP-TV-XZ]{4}-[B-DF-HJ-NP-TV-XZ]{4}"))) << userCode;
    EXPECT_EQ(Text(first, "device_code").size(), 32u);
    EXPECT_EQ(Text(first, "verification_uri"), "https://app.ovra.example/device");
    EXPECT_EQ(Text(first, "verification_uri_complete"), "https://app.ovra.example/device?user_code=" + userCode);
    EXPECT_EQ(Number(first, "interval"), 5);
    EXPECT_EQ(Number(first, "expires_in"), 600);

    // Every start is a new device code; a start without a body is one too.
    const rapidjson::Document second = Start("");
    EXPECT_NE(Text(second, "device_code"), Text(first, "device_code"));
    EXPECT_EQ(ErrorOf(Call("POST", "/api/v1/device/start", {}, "[1]")), "invalid_request/body_not_object");

    const std::vector<DeviceState> devices = service.Routes().Devices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].name, "Archicad 30 · PC");
    EXPECT_EQ(devices[0].client, "archicad");
    EXPECT_EQ(devices[0].startBody, R"({"client":"archicad","locale":"pt-BR","name":"Archicad 30 · PC"})");
    EXPECT_EQ(devices[0].status, "pending");
    EXPECT_EQ(devices[1].startBody, "");
}

TEST_F(DeviceSignIn, ATokenComesOnlyAfterApprovalAndOnlyOnce) {
    const rapidjson::Document start = Start();
    const std::string deviceCode = Text(start, "device_code");

    const HttpReply pending = PollToken(deviceCode);
    EXPECT_EQ(pending.status, 400);
    EXPECT_EQ(ErrorOf(pending), "authorization_pending/pending");
    EXPECT_EQ(Number(Json(pending.body)["error"], "retry_after"), 5);

    // The user approves in the browser, by the code shown there.
    EXPECT_TRUE(service.Routes().Decide(Text(start, "user_code"), DeviceDecision::Approve));
    const HttpReply granted = PollToken(deviceCode);
    ASSERT_EQ(granted.status, 200) << granted.body;
    const std::string token = Text(Json(granted.body), "token");
    EXPECT_EQ(token.rfind("ovr_", 0), 0u);
    EXPECT_EQ(Call("GET", "/api/v1/me", token).status, 200);

    EXPECT_EQ(ErrorOf(PollToken(deviceCode)), "expired/code_used");
    EXPECT_FALSE(service.Routes().Decide(deviceCode, DeviceDecision::Deny));
    EXPECT_EQ(service.Routes().Devices()[0].status, "used");
    EXPECT_EQ(service.Routes().Devices()[0].polls, 3u);
}

TEST_F(DeviceSignIn, DeniedExpiredUnknownAndMissingCodesAnswerTheirErrors) {
    const std::string denied = Text(Start(), "device_code");
    const std::string expired = Text(Start(), "device_code");
    EXPECT_TRUE(service.Routes().Decide(denied, DeviceDecision::Deny));
    EXPECT_TRUE(service.Routes().Decide(expired, DeviceDecision::Expire));
    EXPECT_FALSE(service.Routes().Decide("no-such-code", DeviceDecision::Approve));

    const std::pair<std::string, std::string> cases[] = {
        {R"({"device_code":")" + denied + R"("})", "denied/access_denied"},
        {R"({"device_code":")" + expired + R"("})", "expired/expired_token"},
        {R"({"device_code":"0123"})", "expired/unknown_device_code"},
        {R"({"code":"x"})", "invalid_request/device_code_missing"},
        {"", "invalid_request/device_code_missing"},
    };
    for (const auto& [body, error] : cases) {
        const HttpReply reply = Call("POST", "/api/v1/device/token", {}, body);
        EXPECT_EQ(reply.status, 400) << body;
        EXPECT_EQ(ErrorOf(reply), error) << body;
    }
    // A decided code stays decided.
    EXPECT_FALSE(service.Routes().Decide(denied, DeviceDecision::Approve));
    EXPECT_EQ(service.Routes().Account().activeTokens, 0u);
}

class ShortLivedCodes : public ServiceRoutesTest {
protected:
    static SimService::Options Short() {
        SimService::Options options;
        options.routes.deviceCodeLife = 0s;
        options.routes.idempotencyKeyLife = 100ms;
        return options;
    }
    ShortLivedCodes() : ServiceRoutesTest(Short()) {}
};

TEST_F(ShortLivedCodes, ACodePastItsLifeExpiresAndCannotBeApproved) {
    const rapidjson::Document start = Start();
    EXPECT_FALSE(service.Routes().Decide(Text(start, "user_code"), DeviceDecision::Approve));
    EXPECT_EQ(ErrorOf(PollToken(Text(start, "device_code"))), "expired/expired_token");
}

TEST_F(DeviceSignIn, ApprovingAtTheFirstPollSignsEachDeviceInAtOnce) {
    service.Routes().SetApproveAtFirstPoll(true);
    std::vector<std::string> tokens;
    for (int i = 0; i < 2; ++i) {
        const HttpReply reply = PollToken(Text(Start(), "device_code"));
        ASSERT_EQ(reply.status, 200) << reply.body;
        tokens.push_back(Text(Json(reply.body), "token"));
    }
    EXPECT_NE(tokens[0], tokens[1]);
    EXPECT_EQ(service.Routes().Account().activeTokens, 2u);
}

TEST_F(Tokens, ARevokedUnknownOrMissingTokenIsAnswered401WithTheErrorBody) {
    const std::string token = service.Routes().IssueToken();
    const std::string other = service.Routes().IssueToken();
    EXPECT_EQ(Call("GET", "/api/v1/me", token).status, 200);

    const HttpReply signOut = Call("DELETE", "/api/v1/device/tokens/current", token);
    EXPECT_EQ(signOut.status, 200) << signOut.body;
    const struct {
        std::string token;
        std::string error;
    } refused[] = {{token, "revoked/token_revoked"}, {"ovr_not-issued", "revoked/unknown_token"}, {"", "revoked/missing_token"}};
    for (const auto& c : refused) {
        for (const char* path : {"/api/v1/me", "/api/v1/jobs/job_1", "/files/job_1/result.png"}) {
            const HttpReply reply = Call("GET", path, c.token);
            EXPECT_EQ(reply.status, 401) << path << " with " << c.error;
            EXPECT_EQ(ErrorOf(reply), c.error) << path;
        }
    }
    EXPECT_EQ(Call("DELETE", "/api/v1/device/tokens/current", token).status, 401);
    // The other device stays signed in.
    EXPECT_EQ(Call("GET", "/api/v1/me", other).status, 200);
    EXPECT_EQ(service.Routes().Account().activeTokens, 1u);
    EXPECT_TRUE(service.Routes().RevokeToken(other));
    EXPECT_FALSE(service.Routes().RevokeToken(other));
    EXPECT_EQ(Call("GET", "/api/v1/me", other).status, 401);
}

TEST_F(PaidRequests, CostTheirCreditsAndAre402WhenTooFewAreLeft) {
    const std::string token = service.Routes().IssueToken();
    service.Routes().SetCredits(6);
    const std::string upload = Upload(token, "not a picture");

    const HttpReply generation = Generate(token, upload);
    EXPECT_EQ(generation.status, 202) << generation.body;
    EXPECT_EQ(Number(Json(generation.body), "cost"), 1);
    EXPECT_EQ(Number(Json(generation.body), "credits"), 5);
    const HttpReply animation = Generate(token, upload, {}, "/api/v1/animation-video");
    EXPECT_EQ(animation.status, 202) << animation.body;
    EXPECT_EQ(Text(Json(animation.body), "kind"), "animation-video");
    EXPECT_EQ(Number(Json(animation.body), "credits"), 0);

    const HttpReply refused = Generate(token, upload);
    EXPECT_EQ(refused.status, 402);
    EXPECT_EQ(ErrorOf(refused), "no_credits/insufficient_credits");
    EXPECT_EQ(Number(Json(Call("GET", "/api/v1/me", token).body), "credits"), 0);
    const AccountState account = service.Routes().Account();
    EXPECT_EQ(account.charged, 6);
    EXPECT_EQ(account.jobs, 2u);
}

TEST_F(PaidRequests, RefuseBadBodiesWithoutCharging) {
    const std::string token = service.Routes().IssueToken();
    const std::pair<std::string, std::string> cases[] = {
        {"not json", "invalid_request/body_not_object"},
        {R"({"prompt":"x"})", "invalid_request/upload_id_missing"},
        {R"({"upload_id":"upl_9"})", "not_found/unknown_upload"},
    };
    for (const auto& [body, error] : cases)
        EXPECT_EQ(ErrorOf(Call("POST", "/api/v1/generations", token, body,
                               {"Content-Type: application/json", "Idempotency-Key: bad-" + std::to_string(++keysMade)})),
                  error);
    EXPECT_EQ(service.Routes().Account().credits, 10);
}

TEST_F(PaidRequests, ARepeatedIdempotencyKeyGetsTheFirstAnswerWithoutASecondCharge) {
    const std::string token = service.Routes().IssueToken();
    const std::string upload = Upload(token, "bytes");
    const HttpReply first = Generate(token, upload, "key-1");
    const HttpReply repeat = Generate(token, upload, "key-1");
    EXPECT_EQ(repeat.status, first.status);
    EXPECT_EQ(repeat.body, first.body);
    EXPECT_EQ(repeat.Header("Idempotent-Replayed"), "true");
    EXPECT_EQ(service.Routes().Account().charged, 1);

    // The same key for another request is a conflict; another key or none is a new request.
    EXPECT_EQ(ErrorOf(Generate(token, upload, "key-1", "/api/v1/animation-video")), "idempotency_conflict/different_request");
    EXPECT_NE(Generate(token, upload, "key-2").body, first.body);
    RequestRules keyless;
    keyless.idempotencyKeys = false;
    service.SetRules(keyless);
    Generate(token, upload, "");
    Generate(token, upload, "");
    EXPECT_EQ(service.Routes().Account().charged, 4);
    EXPECT_EQ(service.Routes().Account().jobs, 4u);
}

TEST_F(ShortLivedCodes, AnIdempotencyKeyPastItsLifeChargesAgain) {
    const std::string token = service.Routes().IssueToken();
    const std::string upload = Upload(token, "bytes");
    const HttpReply first = Generate(token, upload, "key");
    std::this_thread::sleep_for(150ms);
    const HttpReply later = Generate(token, upload, "key");
    EXPECT_EQ(later.status, 202);
    EXPECT_NE(later.body, first.body);
    EXPECT_EQ(service.Routes().Account().charged, 2);
}

TEST_F(Jobs, ArePolledThroughQueuedAndRunningToDoneWithTheResultsPath) {
    const std::string token = service.Routes().IssueToken();
    const std::string jobId = Text(Json(Generate(token, Upload(token, "x")).body), "id");
    EXPECT_EQ(ErrorOf(Call("GET", "/files/" + jobId + "/result.png", token)), "not_ready/queued");

    std::vector<std::string> statuses;
    for (int i = 0; i < 4; ++i) statuses.push_back(Text(Json(Call("GET", "/api/v1/jobs/" + jobId, token).body), "status"));
    EXPECT_EQ(statuses, (std::vector<std::string>{"queued", "running", "done", "done"}));
    const rapidjson::Document done = Json(Call("GET", "/api/v1/jobs/" + jobId + "?t=1", token).body);
    const std::string path = "/files/" + jobId + "/result.png";
    EXPECT_EQ(Text(done["result"], "path"), path);
    EXPECT_EQ(Text(done["result"], "url"), "https://app.ovra.example" + path);
    EXPECT_EQ(Text(done["result"], "content_type"), "image/png");
    EXPECT_EQ(service.Routes().Jobs()[0].resultPath, path);
    EXPECT_EQ(ErrorOf(Call("GET", "/api/v1/jobs/job_77", token)), "not_found/unknown_job");
}

TEST_F(Jobs, AFailedJobGivesItsCreditsBack) {
    const std::string token = service.Routes().IssueToken();
    service.Routes().FailNextJobs(1);
    service.Routes().SetPollsUntilDone(1);
    const std::string upload = Upload(token, "x");
    const std::string failing = Text(Json(Generate(token, upload, {}, "/api/v1/animation-video").body), "id");
    EXPECT_EQ(service.Routes().Account().credits, 5);
    const rapidjson::Document failed = PollJob(token, failing);
    EXPECT_EQ(Text(failed, "status"), "failed");
    EXPECT_EQ(Text(failed["error"], "code"), "generation_failed");
    EXPECT_EQ(service.Routes().Account().credits, 10);
    EXPECT_EQ(service.Routes().Account().charged, 0);
    // Only the next job failed.
    EXPECT_EQ(Text(PollJob(token, Text(Json(Generate(token, upload).body), "id")), "status"), "done");
}

TEST_F(ResultFiles, AreTheUploadGradedAndFramedTheSameEveryTime) {
    const RgbPicture original = Gradient(240, 160);
    const std::string jpeg = EncodeJpegForTest(original);
    ASSERT_FALSE(jpeg.empty());
    const std::string token = service.Routes().IssueToken();
    service.Routes().SetPollsUntilDone(1);
    const rapidjson::Document job = PollJob(token, Text(Json(Generate(token, Upload(token, jpeg)).body), "id"));
    const std::string path = Text(job["result"], "path");

    const HttpReply first = Call("GET", path, token);
    ASSERT_EQ(first.status, 200) << first.body;
    EXPECT_EQ(first.Header("Content-Type"), "image/png");
    EXPECT_EQ(Call("GET", path, token).body, first.body);
    RgbPicture result;
    ASSERT_TRUE(DecodePicture(first.body, &result));
    ASSERT_EQ(result.width, 240);
    ASSERT_EQ(result.height, 160);
    // Visibly different, yet the same picture: close where the grade keeps the tones.
    RgbPicture decoded;
    ASSERT_TRUE(DecodePicture(jpeg, &decoded));
    EXPECT_GT(MeanDifference(result, decoded), 8.0);
    const auto at = [&](int x, int y) { return &result.pixels[(static_cast<size_t>(y) * 240 + x) * 3]; };
    EXPECT_EQ(at(0, 0)[0], 40);
    EXPECT_EQ(at(239, 159)[2], 32);
    // Inside the frame every channel sits on one of six levels, and the dark band survives.
    for (int y = 20; y < 140; y += 7)
        for (int x = 20; x < 220; x += 11)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(at(x, y)[c] % 51, 0) << x << "," << y;
    EXPECT_LT(at(80, 80)[1], 60);
    EXPECT_GT(at(200, 40)[0], 180);

    // Another service makes the same bytes from the same upload; another upload gives others.
    SimService other(ServicePki());
    other.Start();
    const std::string otherToken = other.Routes().IssueToken();
    other.Routes().SetPollsUntilDone(1);
    auto resultOf = [&](const std::string& upload) {
        const auto call = [&](const std::string& m, const std::string& t, const std::string& b,
                              std::vector<std::string> h) {
            return CallService(other.Port(), ServicePki().caCertificatePem, m, t, otherToken, b, h);
        };
        const std::string id = Text(Json(call("POST", "/api/v1/uploads", upload, {"Content-Type: image/png"}).body), "id");
        const std::string jobId = Text(Json(call("POST", "/api/v1/generations", R"({"upload_id":")" + id + "\"}", {}).body), "id");
        const std::string file = Text(Json(call("GET", "/api/v1/jobs/" + jobId, "", {}).body)["result"], "path");
        return call("GET", file, "", {}).body;
    };
    EXPECT_EQ(resultOf(jpeg), first.body);
    EXPECT_NE(resultOf(EncodePng(Gradient(240, 161))), first.body);
}

TEST_F(ResultFiles, ANonPictureGivesAGeneratedPictureAndAnAnimationAVideoFile) {
    const std::string token = service.Routes().IssueToken();
    service.Routes().SetPollsUntilDone(1);
    const std::string upload = Upload(token, "%PDF-1.7 a plan", "application/pdf");
    const rapidjson::Document picture = PollJob(token, Text(Json(Generate(token, upload).body), "id"));
    const HttpReply png = Call("GET", Text(picture["result"], "path"), token);
    RgbPicture generated;
    ASSERT_TRUE(DecodePicture(png.body, &generated));
    EXPECT_EQ(generated.width, 640);
    EXPECT_EQ(generated.height, 400);
    EXPECT_EQ(png.body, MakeResultPicture("%PDF-1.7 a plan"));
    EXPECT_NE(png.body, MakeResultPicture("%PDF-1.7 another plan"));

    const rapidjson::Document video =
        PollJob(token, Text(Json(Generate(token, upload, {}, "/api/v1/animation-video").body), "id"));
    EXPECT_EQ(Text(video["result"], "content_type"), "video/mp4");
    const HttpReply mp4 = Call("GET", Text(video["result"], "path"), token);
    EXPECT_EQ(mp4.Header("Content-Type"), "video/mp4");
    EXPECT_EQ(mp4.body.substr(0, 12), "\0\0\0\x18"s + "ftypisom");
    EXPECT_NE(mp4.body.find(png.body), std::string::npos);
    // A path beside a result's names nothing.
    const std::string other = Text(video["result"], "path") + "x";
    EXPECT_EQ(ErrorOf(Call("GET", other, token)), "not_found/unknown_file");
}

TEST_F(ResultFiles, OfAnUploadTooLargeToKeepAreMadeFromItsDigest) {
    std::string bytes((size_t{64} << 20) + 1, '\0');
    for (size_t i = 0; i < bytes.size(); i += 4096) bytes[i] = static_cast<char>(i >> 12);
    const std::string token = service.Routes().IssueToken();
    service.Routes().SetPollsUntilDone(1);
    const std::string upload = Upload(token, bytes, "video/mp4");
    ASSERT_EQ(service.Record().requests.back().body.size(), bytes.size());
    const rapidjson::Document job =
        PollJob(token, Text(Json(Generate(token, upload, {}, "/api/v1/animation-video").body), "id"));
    const HttpReply video = Call("GET", Text(job["result"], "path"), token);
    EXPECT_EQ(video.body, VideoHolding(MakeGeneratedPicture(UploadDigest(bytes))));
    bytes.back() = 1;
    EXPECT_NE(video.body, VideoHolding(MakeGeneratedPicture(UploadDigest(bytes))));
}

class SmallBodies : public ServiceRoutesTest {
protected:
    static SimService::Options Small() {
        SimService::Options options;
        options.largestBody = 1024;
        return options;
    }
    SmallBodies() : ServiceRoutesTest(Small()) {}
};

TEST_F(SmallBodies, ABodyAboveTheLimitIsRefusedUnreadAndNotKept) {
    const std::string token = service.Routes().IssueToken();
    EXPECT_EQ(Call("POST", "/api/v1/uploads", token, std::string(1024, 'a')).status, 201);
    const HttpReply refused = Call("POST", "/api/v1/uploads", token, std::string(1025, 'a'));
    EXPECT_EQ(refused.status, 413);
    EXPECT_EQ(service.Routes().Account().uploads, 1u);
    ASSERT_EQ(service.Record().requests.size(), 2u);
    EXPECT_EQ(service.Record().requests[1].body, "");
}

TEST_F(Uploads, KeepTheirContentTypeAndFileName) {
    const std::string token = service.Routes().IssueToken();
    const std::string bytes = "\xFF\xD8\xFF\0binary"s;
    const HttpReply named = Call("POST", "/api/v1/uploads?source=capture", token, bytes,
                                 {"Content-Type: image/jpeg", "x-filename: my%20photo.jpg"});
    ASSERT_EQ(named.status, 201) << named.body;
    const rapidjson::Document answer = Json(named.body);
    EXPECT_EQ(Text(answer, "content_type"), "image/jpeg");
    EXPECT_EQ(Text(answer, "filename"), "my photo.jpg");
    EXPECT_EQ(Number(answer, "size"), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(Call("GET", "/api/v1/uploads/" + Text(answer, "id"), token).body, named.body);

    // An upload without its type or name is stored under the defaults; the service records both
    // breaches.
    violations.Expect("POST /api/v1/uploads: a binary upload without Content-Type");
    violations.Expect("POST /api/v1/uploads: a binary upload without x-filename");
    const HttpReply bare = CallService(service.Port(), ServicePki().caCertificatePem, "POST", "/api/v1/uploads", token, "abc");
    EXPECT_EQ(Text(Json(bare.body), "content_type"), "application/octet-stream");
    EXPECT_EQ(Text(Json(bare.body), "filename"), "upload.bin");
    EXPECT_EQ(ErrorOf(Call("POST", "/api/v1/uploads", token, "")), "invalid_request/empty_upload");
    EXPECT_EQ(ErrorOf(Call("GET", "/api/v1/uploads/upl_99", token)), "not_found/unknown_upload");

    const std::vector<UploadState> uploads = service.Routes().Uploads();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].sentFilename, "my%20photo.jpg");
    EXPECT_EQ(uploads[0].filename, "my photo.jpg");
    EXPECT_EQ(uploads[1].sentFilename, "");
}

TEST_F(Routing, ScriptedAnswersComeFirstAndUnknownPathsOrMethodsAreRefused) {
    const std::string token = service.Routes().IssueToken();
    service.Script(ScriptedAnswer::Status(503, R"({"error":"busy","retry_after":30})"));
    EXPECT_EQ(Call("GET", "/api/v1/me", token).status, 503);
    EXPECT_EQ(Call("GET", "/api/v1/me", token).status, 200);

    const HttpReply config = Call("GET", "/api/v1/plugin/config");
    EXPECT_EQ(config.status, 200);
    EXPECT_EQ(Text(Json(config.body), "site"), "https://app.ovra.example/");

    const HttpReply wrongMethod = Call("GET", "/api/v1/generations", token);
    EXPECT_EQ(wrongMethod.status, 405);
    EXPECT_EQ(wrongMethod.Header("Allow"), "POST");
    EXPECT_EQ(ErrorOf(wrongMethod), "method_not_allowed/GET");
    EXPECT_EQ(ErrorOf(Call("GET", "/api/v1/other", token)), "not_found/no_route");
    EXPECT_EQ(Call("POST", "/files/job_1/result.png", token).status, 405);
}

TEST_F(Routing, AnAddOnThatIsNotServedGetsOnlyTheConfiguration) {
    const std::string token = service.Routes().IssueToken();
    const struct {
        PluginStatus status;
        int code;
        std::string error;
        std::string config;
    } cases[] = {{PluginStatus::Outdated, 426, "plugin_outdated/plugin_outdated", "outdated"},
                 {PluginStatus::Disabled, 503, "unavailable/plugin_disabled", "disabled"}};
    for (const auto& c : cases) {
        service.Routes().SetPluginStatus(c.status);
        for (const char* path : {"/api/v1/me", "/files/job_1/result.png"}) {
            const HttpReply reply = Call("GET", path, token);
            EXPECT_EQ(reply.status, c.code) << path;
            EXPECT_EQ(ErrorOf(reply), c.error) << path;
        }
        EXPECT_EQ(ErrorOf(Call("POST", "/api/v1/device/start")), c.error);
        EXPECT_EQ(Text(Json(Call("GET", "/api/v1/plugin/config").body), "plugin"), c.config);
    }
    EXPECT_EQ(Number(Json(Call("GET", "/api/v1/me", token).body)["error"], "retry_after"), 600);
    service.Routes().SetPluginStatus(PluginStatus::Current);
    EXPECT_EQ(Call("GET", "/api/v1/me", token).status, 200);
}

TEST_F(Routing, AnAnswerForOnePathWaitsForARequestOfThatPath) {
    const std::string token = service.Routes().IssueToken();
    const std::string job = Text(Json(Generate(token, Upload(token, "x")).body), "id");
    const std::string poll = "/api/v1/jobs/" + job;
    service.Script({ScriptedAnswer::Status(500).For(poll), ScriptedAnswer::Status(418)});
    EXPECT_EQ(Call("GET", "/api/v1/me", token).status, 418);
    EXPECT_EQ(Call("GET", "/api/v1/me", token).status, 200);
    EXPECT_EQ(service.QueuedAnswers(), 1u);
    EXPECT_EQ(Call("GET", poll + "?n=1", token).status, 500);
    EXPECT_EQ(Text(Json(Call("GET", poll, token).body), "status"), "queued");
}

TEST_F(Routing, AnswersOnlyRequestsThatNameTheServicesSite) {
    const auto config = [&](const std::string& hostLines) {
        return ParseReply(ExchangeTls(service.Port(), ServicePki().caCertificatePem,
                                      "GET /api/v1/plugin/config HTTP/1.1\r\n" + hostLines + AddOnHeaderLines() + "\r\n"));
    };
    EXPECT_EQ(config("Host: app.ovra.example\r\n").status, 200);
    EXPECT_EQ(config("host: app.ovra.example:443\r\n").status, 200);
    const HttpReply loopback = config("Host: 127.0.0.1:" + std::to_string(service.Port()) + "\r\n");
    EXPECT_EQ(loopback.status, 421);
    EXPECT_EQ(ErrorOf(loopback), "misdirected_request/127.0.0.1:" + std::to_string(service.Port()));
    EXPECT_EQ(ErrorOf(config("")), "invalid_request/host_missing");
}

TEST_F(Routing, ServesOtherConnectionsWhileOneIsHeld) {
    service.Script(ScriptedAnswer::NeverAnswer());
    TlsTestClient held(service.Port(), ServicePki().caCertificatePem);
    ASSERT_TRUE(held.Connected());
    ASSERT_TRUE(held.Send("GET /api/v1/me HTTP/1.1\r\n" + AddOnHeaderLines() + "\r\n"));
    ASSERT_TRUE(service.WaitForRequests(1, 20s));
    EXPECT_EQ(Call("GET", "/api/v1/plugin/config").status, 200);
    std::string answer;
    EXPECT_EQ(held.Receive(answer, 100ms), TlsTestClient::End::Quiet);
    EXPECT_EQ(answer, "");
}

TEST_F(Routing, ManyDevicesSignInAndChargeAtOnce) {
    constexpr int kClients = 12;
    service.Routes().SetApproveAtFirstPoll(true);
    service.Routes().SetCredits(kClients);
    std::atomic<int> charged{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i)
        clients.emplace_back([&, i] {
            // Each client uploads different bytes.
            std::string bytes = "upload ";
            bytes += std::to_string(i);
            const std::string code = Text(Json(Call("POST", "/api/v1/device/start").body), "device_code");
            const std::string token =
                Text(Json(Call("POST", "/api/v1/device/token", {}, R"({"device_code":")" + code + "\"}").body), "token");
            const std::string upload = Text(Json(Call("POST", "/api/v1/uploads", token, bytes).body), "id");
            const HttpReply paid = Generate(token, upload);
            if (paid.status == 202) ++charged;
        });
    for (std::thread& client : clients) client.join();
    EXPECT_EQ(charged.load(), kClients);
    const AccountState account = service.Routes().Account();
    EXPECT_EQ(account.activeTokens, static_cast<uint64_t>(kClients));
    EXPECT_EQ(account.credits, 0);
    EXPECT_EQ(account.uploads, static_cast<uint64_t>(kClients));
    EXPECT_EQ(service.Record().requests.size(), static_cast<size_t>(4 * kClients));
    EXPECT_EQ(service.Connections(), static_cast<uint64_t>(4 * kClients));
}

TEST(ServiceRecordLines, HoldEachRequestsMethodPathHeadersAndBody) {
    ServiceRecord record;
    record.connections = 3;
    record.requests.push_back({"POST /api/v1/device/start?x=1 HTTP/1.1", {"Host: app.ovra.example", "Content-Length: 12"},
                               R"({"n":"é·"})", 1});
    record.requests.push_back({"POST /api/v1/uploads HTTP/1.1", {"Content-Type: image/jpeg"}, "\xFF\xD8\xFF\x01"s, 2});
    record.requests.push_back({"PUT /big HTTP/1.1", {}, std::string(4096, 'a'), 3});
    record.requests.push_back({"GET /files/a HTTP/1.1", {"X-Byte: \xE9"}, std::string(4095, 'b'), 3});
    const std::string lines = RecordToJsonLines(record);

    std::istringstream in(lines);
    std::vector<rapidjson::Document> objects;
    for (std::string line; std::getline(in, line);) objects.push_back(Json(line));
    ASSERT_EQ(objects.size(), 4u);
    ASSERT_EQ(lines.back(), '\n');
    EXPECT_EQ(Text(objects[0], "method"), "POST");
    EXPECT_EQ(Text(objects[0], "path"), "/api/v1/device/start?x=1");
    ASSERT_TRUE(objects[0]["headers"].IsArray());
    ASSERT_EQ(objects[0]["headers"].Size(), 2u);
    EXPECT_EQ(std::string(objects[0]["headers"][1].GetString()), "Content-Length: 12");
    EXPECT_EQ(Number(objects[0], "bodySize"), 12);
    EXPECT_EQ(Text(objects[0], "body"), R"({"n":"é·"})");
    EXPECT_EQ(Number(objects[0], "connection"), 1);
    // Bytes that are not UTF-8 go as base64; 4096 bytes and more go as their size alone.
    EXPECT_EQ(Text(objects[1], "body"), "<absent>");
    EXPECT_EQ(Text(objects[1], "bodyBase64"), "/9j/AQ==");
    EXPECT_EQ(Number(objects[2], "bodySize"), 4096);
    EXPECT_FALSE(objects[2].HasMember("body") || objects[2].HasMember("bodyBase64"));
    EXPECT_EQ(Text(objects[3], "body").size(), 4095u);
    EXPECT_EQ(std::string(objects[3]["headers"][0].GetString()), "X-Byte: \xC3\xA9");
}

TEST_F(Routing, TheRecordFileHoldsEveryRequestAsALine) {
    Call("GET", "/api/v1/plugin/config?lang=es");
    Call("POST", "/api/v1/device/start", {}, R"({"name":"A"})");
    ScratchFolders folders;
    const std::filesystem::path file = folders.root() / "record.jsonl";
    ASSERT_TRUE(service.WriteRecordJsonLines(file));
    const std::string text = ReadFileText(file);
    EXPECT_EQ(text, RecordToJsonLines(service.Record()));
    EXPECT_NE(text.find(R"("method":"GET","path":"/api/v1/plugin/config?lang=es","headers":["Host: app.ovra.example")"),
              std::string::npos) << text;
    EXPECT_FALSE(service.WriteRecordJsonLines(folders.root() / "missing" / "record.jsonl"));
}
}  // namespace
