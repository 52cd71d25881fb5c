// The "api" request through the bridge against the simulated service: which requests are
// refused before anything is sent, what goes on the wire (read back from the service's record),
// the sign-in, sign-out and revocation, and how answers are shaped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>


#include "handlers/service/ApiRequest.h"
#include "handlers/service/FetchSource.h"
#include "handlers/service/ServiceCall.h"
#include "panel/Mailbox.h"
#include "panel/Replies.h"
#include "platform/System.h"
#include "platform/Threads.h"
#include "platform/Utf.h"
#include "service/ApiTestSupport.h"
#include "store/FileStore.h"
#include "store/StateFiles.h"
#include "store/TokenStore.h"
#include "support/FaultyFiles.h"
#include "support/ScopedEnvironment.h"
#include "support/Wine.h"


namespace {

const std::string kIdentification = "X-Ovra-Plugin: tamsel-ovra/1.1.0 (contract=1; archicad=30; os=win)";

std::string Get(const std::string& path, const std::string& options = "{}") {
    return R"({"method":"GET","path":)" + JsonQuote(path) + R"(,"options":)" + options + "}";
}

// A stored file the page may upload.
std::string StoredFile(const std::string& bytes) {
    const std::string ref = NewFileRef("cap");
    EXPECT_TRUE(StoreBytes(ref, bytes));
    return ref;
}

std::string Upload(const std::string& ref, const std::string& options) {
    return R"({"method":"POST","path":"/api/v1/uploads","body":{"fileRef":)" + JsonQuote(ref) +
           R"(},"options":)" + options + "}";
}

using Api = ApiFixture;

// --- Requests refused before anything is sent

TEST_F(Api, ABadMethodPathOrKeyIsRefusedAndNothingIsSent) {
    Open(true);
    const std::string longPath = "/api/" + std::string(2044, 'a');  // 2049 bytes
    const std::string longKey(129, 'k');
    const std::vector<std::string> payloads = {
        R"({"method":"get","path":"/api/v1/me"})",
        R"({"method":"PATCH","path":"/api/v1/me"})",
        R"({"path":"/api/v1/me"})",
        Get("https://other.example/api/v1/me"),
        Get("http://app.ovra.example/api/v1/me"),
        Get("/api/../x"),
        Get("/files/a#b"),
        Get("//api/x"),
        Get("/other/x"),
        Get(longPath),
        // One spelling only: escapes of plain characters, of "/" and "." and dot segments would
        // let a path pass the endpoint checks under another name.
        Get("/api/v1/device/toke%6e"),
        Get("/api/v1/device/./token"),
        Get("/api/v1/device/token/."),
        Get("/api/v1/%2e%2e/x"),
        Get("/api/v1%2fme"),
        Get("/api/v1/me/"),
        Get("/api/v1//me"),
        Get("/api/v1/me%"),
        Get(R"(/api/v1\\me)"),
        Get("/api/v1/me", R"({"idempotencyKey":")" + longKey + R"("})"),
        Get("/api/v1/me", R"({"idempotencyKey":"a b"})"),
        R"({"method":"POST","path":"/api/v1/generation%73","body":{"upload_id":"upl_1"}})",
        // The parser reads a number just past the largest double as infinity, which JSON cannot
        // spell: the body would go out cut short.
        R"({"method":"POST","path":"/api/v1/generations","body":{"upload_id":"upl_1","seed":1.8e308}})",
        R"({"method":"POST","path":"/api/v1/device/start","body":{"n":[-123456789012345678e301]}})",
    };
    for (size_t i = 0; i < payloads.size(); ++i) {
        const std::string id = Numbered("r", i);
        harness->Post(Request(id, "api", payloads[i]));
        const auto* reply = harness->OnlyReplyTo(id);
        ASSERT_NE(reply, nullptr) << payloads[i];
        EXPECT_EQ(reply->ErrorCode(), "invalid_request") << payloads[i];
    }
    EXPECT_TRUE(service->Record().requests.empty());
    EXPECT_EQ(Log().find(" api "), std::string::npos) << "a refused request writes no api line";
}

TEST_F(Api, PathsAtTheLimitsAreSent) {
    Open(true);
    // The origin-prefixed path goes as a plain path; a 2048-byte path and an encoded space pass.
    EXPECT_EQ(StringAt(Call("o", Get("https://app.ovra.example/api/v1/me?x=1")), "result.name"), "Simulated Architect");
    const std::string limit = "/api/" + std::string(2043, 'a');
    EXPECT_EQ(ErrorCodeOf(Call("l", Get(limit))), "not_found");
    EXPECT_EQ(ErrorCodeOf(Call("s", Get("/api/v1/a%20b"))), "not_found");
    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].requestLine, "GET /api/v1/me?x=1 HTTP/1.1");
    EXPECT_EQ(requests[1].Target(), limit);
    EXPECT_EQ(requests[2].Target(), "/api/v1/a%20b");
    // The query string is never logged.
    EXPECT_NE(Log().find(" api GET /api/v1/me\r\n"), std::string::npos) << Log();
}

// --- What goes on the wire

TEST_F(Api, EachKindOfRequestSendsItsOwnLinesInOrderAndItsBody) {
    Open(true);
    const std::string picture = "capture bytes \x01\x02\x03 and more";
    const std::string ref = StoredFile(picture);
    const std::string upload =
        Call("u", Upload(ref, R"({"binary":true,"contentType":"image/png","filename":"my photo.png","noCache":true})"));
    const std::string uploadId = StringAt(upload, "result.id");
    ASSERT_FALSE(uploadId.empty()) << upload;
    const std::string job = Call("g", R"({"method":"POST","path":"/api/v1/generations","body":{"upload_id":)" +
                                          JsonQuote(uploadId) +
                                          R"(,"prompt":"dusk"},"options":{"idempotencyKey":"Key-1_.:","noCache":true}})");
    EXPECT_EQ(StringAt(job, "result.status"), "queued") << job;
    EXPECT_EQ(Call("m", Get("/api/v1/me", R"({"idempotencyKey":""})")).rfind(R"({"id":"m","ok":true,)", 0), 0u);

    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 3u);
    const std::string bearer = "Authorization: Bearer " + token;
    EXPECT_EQ(requests[0].requestLine, "POST /api/v1/uploads HTTP/1.1");
    EXPECT_EQ(OwnLines(requests[0]),
              (std::vector<std::string>{kIdentification, "Accept-Language: en", bearer, "Content-Type: image/png",
                                        "x-filename: my%20photo.png", "Cache-Control: no-cache"}));
    EXPECT_TRUE(requests[0].body == picture) << "the stored file's bytes, and nothing else";
    EXPECT_EQ(requests[0].Header("Content-Length"), std::to_string(picture.size()));

    EXPECT_EQ(OwnLines(requests[1]),
              (std::vector<std::string>{kIdentification, "Accept-Language: en", bearer,
                                        "Content-Type: application/json", "Idempotency-Key: Key-1_.:",
                                        "Cache-Control: no-cache"}));
    EXPECT_EQ(requests[1].body, R"({"upload_id":")" + uploadId + R"(","prompt":"dusk"})");

    // An empty key sends no line; a GET has no body and no type.
    EXPECT_EQ(OwnLines(requests[2]), (std::vector<std::string>{kIdentification, "Accept-Language: en", bearer}));
    EXPECT_TRUE(requests[2].body.empty());

    const std::string log = Log();
    EXPECT_NE(log.find(" api POST /api/v1/uploads (binary)\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" api POST /api/v1/generations\r\n"), std::string::npos) << log;
}

TEST_F(Api, UploadsNameTheirTypeAndFileWithinTheRules) {
    Open(true);
    const std::string ref = StoredFile("0123456789");
    const std::string longName = std::string(119, 'n') + "\xC3\xA9" + "tail";  // cut inside the "é"
    struct Case {
        std::string options, contentType, sentName;
    } cases[] = {
        {R"({"binary":true,"contentType":"Image/PNG","filename":"a.png"})", "application/octet-stream", "a.png"},
        {R"({"binary":true,"contentType":"imagepng"})", "application/octet-stream", "upload.bin"},
        {R"({"binary":true,"contentType":"video/mp4","filename":""})", "video/mp4", "upload.bin"},
        {R"({"binary":true,"contentType":")" + std::string(101, 'a') + R"(/"})", "application/octet-stream",
         "upload.bin"},
        {R"({"binary":true,"filename":")" + longName + R"("})", "application/octet-stream",
         std::string(119, 'n') + "%C3"},
        {R"({"binary":true,"filename":"Caf\u00e9 (1).jpg"})", "application/octet-stream", "Caf%C3%A9%20%281%29.jpg"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string reply = Call(Numbered("u", i), Upload(ref, cases[i].options));
        EXPECT_EQ(StringAt(reply, "result.content_type"), cases[i].contentType) << cases[i].options;
    }
    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(requests[i].Header("Content-Type"), cases[i].contentType) << cases[i].options;
        EXPECT_EQ(requests[i].Header("x-filename"), cases[i].sentName) << cases[i].options;
        EXPECT_EQ(requests[i].body, "0123456789");
    }
}

TEST_F(Api, AnUploadWithoutAReadableFileIsMissingFile) {
    Open(true);
    for (const std::string& body : {std::string(R"({"fileRef":"../token.dpapi"})"), std::string(R"({"fileRef":7})"),
                                    std::string("null"), std::string(R"({"fileRef":)") + JsonQuote(NewFileRef("cap")) + "}"}) {
        const std::string reply =
            Call("f", R"({"method":"PUT","path":"/api/v1/uploads","body":)" + body + R"(,"options":{"binary":true}})");
        EXPECT_EQ(ErrorCodeOf(reply), "missing_file") << body;
        harness->page().ClearRecords();
    }
    EXPECT_TRUE(service->Record().requests.empty());
}

// --- The paid block

TEST_F(Api, PaidCallsAreBlockedInTestModeAndOtherMethodsStillGo) {
    const ScopedEnvironment blocked("TAMSEL_OVRA_BLOCK_PAID", "1");
    Open(true);
    const int64_t charged = service->Account().charged;
    const std::vector<std::string> paid = {
        R"({"method":"POST","path":"/api/v1/generations","body":{"upload_id":"upl_1"}})",
        R"({"method":"POST","path":"/api/v1/generations?fast=1","body":{"upload_id":"upl_1"}})",
        R"({"method":"POST","path":"/api/v1/animation-video","body":{"upload_id":"upl_1"}})",
        R"({"method":"POST","path":"https://app.ovra.example/api/v1/generations"})",
    };
    for (size_t i = 0; i < paid.size(); ++i) {
        const std::string id = Numbered("p", i);
        harness->Post(Request(id, "api", paid[i]));
        const auto* reply = harness->OnlyReplyTo(id);
        ASSERT_NE(reply, nullptr);
        EXPECT_EQ(reply->json, R"({"id":")" + id +
                                   R"(","ok":false,"error":{"code":"blocked","message":"Blocked in test mode. Nothing was charged."}})")
            << paid[i];
    }
    EXPECT_TRUE(service->Record().requests.empty());
    EXPECT_EQ(service->Account().charged, charged);
    size_t lines = 0;
    for (size_t at = Log().find("blocked paid call (test mode)\r\n"); at != std::string::npos;
         at = Log().find("blocked paid call (test mode)\r\n", at + 1))
        ++lines;
    EXPECT_EQ(lines, paid.size());
    // The same path with GET goes to the service (which allows only POST there).
    EXPECT_EQ(ErrorCodeOf(Call("g", Get("/api/v1/generations"))), "method_not_allowed");
    EXPECT_EQ(service->Record().requests.size(), 1u);
}

TEST_F(Api, OtherSpellingsOfTheSpecialEndpointsAreRefusedWhateverTheMode) {
    // A service routing without regard to case or taking a format suffix would serve these as
    // the paid, sign-in or sign-out endpoints; the add-on would have sent them as ordinary calls.
    Open(true);
    for (const bool testMode : {true, false}) {
        const ScopedEnvironment blocked("TAMSEL_OVRA_BLOCK_PAID", testMode ? "1" : "0");
        const std::vector<std::string> payloads = {
            R"({"method":"POST","path":"/api/v1/Generations","body":{"upload_id":"upl_1"}})",
            R"({"method":"POST","path":"/api/v1/generations.json","body":{"upload_id":"upl_1"}})",
            R"({"method":"POST","path":"/api/v1/Animation-Video","body":{"upload_id":"upl_1"}})",
            R"({"method":"POST","path":"/api/v1/device/Token","body":{"device_code":"none"}})",
            R"({"method":"DELETE","path":"/api/v1/device/tokens/Current"})",
            Get("/api/v1/Plugin/Config?x=1"),
        };
        for (size_t i = 0; i < payloads.size(); ++i) {
            const std::string id = Numbered(testMode ? "t" : "n", i);
            harness->Post(Request(id, "api", payloads[i]));
            const auto* reply = harness->OnlyReplyTo(id);
            ASSERT_NE(reply, nullptr) << payloads[i];
            EXPECT_EQ(reply->ErrorCode(), "invalid_request") << payloads[i];
        }
    }
    EXPECT_TRUE(service->Record().requests.empty());
    // The refused sign-out spelling signed nothing out here.
    EXPECT_EQ(ErrorCodeOf(Call("m", Get("/api/v1/me"))), "");
    EXPECT_EQ(service->Record().requests.size(), 1u);
}

// --- Signed out
// --- Signed out

TEST_F(Api, SignedOutOnlyTheTokenFreeRequestsGo) {
    Open(false);
    const std::string config = Call("c", Get("/api/v1/plugin/config"));
    EXPECT_EQ(StringAt(config, "result.plugin"), "current") << config;
    EXPECT_EQ(ErrorCodeOf(Call("m", Get("/api/v1/me"))), "revoked");
    EXPECT_EQ(ErrorCodeOf(Call("f", Get("/files/job_1/result.png", R"({"binary":true})"))), "revoked");
    EXPECT_EQ(ErrorCodeOf(Call("d", R"({"method":"DELETE","path":"/api/v1/device/tokens/current"})")), "revoked");
    // With "auth" false a request goes without the token; the service's 401 is then no revocation.
    EXPECT_EQ(ErrorCodeOf(Call("a", Get("/api/v1/me", R"({"auth":false})"))), "revoked");
    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Target(), "/api/v1/plugin/config");
    EXPECT_EQ(OwnLines(requests[0]), (std::vector<std::string>{kIdentification, "Accept-Language: en"}));
    EXPECT_EQ(requests[1].Target(), "/api/v1/me");
    EXPECT_FALSE(requests[1].Header("Authorization").has_value());
    for (const std::string& m : Messages()) EXPECT_EQ(m.find("signedOut"), std::string::npos) << m;
}

TEST_F(Api, TheTokenFreeEndpointsNeverCarryTheToken) {
    Open(true);
    Call("c", Get("/api/v1/plugin/config"));
    Call("s", R"({"method":"POST","path":"/api/v1/device/start"})");
    Call("t", R"({"method":"POST","path":"/api/v1/device/token","body":{"device_code":"none"}})");
    Call("m", Get("/api/v1/me", R"({"auth":true})"));
    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 4u);
    for (size_t i = 0; i < 3; ++i) EXPECT_FALSE(requests[i].Header("Authorization").has_value()) << requests[i].requestLine;
    EXPECT_EQ(requests[3].Header("Authorization"), "Bearer " + token);
}

// --- Device sign-in

TEST_F(Api, TheDeviceNameIsTheComputersShortNameOrTheFallback) {
    const std::u16string computer = ComputerName();
    if (computer.empty())
        EXPECT_EQ(DeviceName(), "Archicad 30");
    else
        EXPECT_EQ(DeviceName(), "Archicad 30 \xC2\xB7 " + Utf16ToUtf8(computer));
}

TEST_F(Api, TheDeviceStartBodyNamesThisDeviceAfterThePagesMembers) {
    Open(false);
    const std::string started =
        Call("s", R"({"method":"POST","path":"/api/v1/device/start","body":{"name":"page","client":"web","scope":["render"]}})");
    EXPECT_FALSE(StringAt(started, "result.device_code").empty()) << started;
    EXPECT_EQ(StringAt(started, "result.verification_uri"), "https://app.ovra.example/device");
    Call("n", R"({"method":"POST","path":"/api/v1/device/start"})");
    Call("a", R"({"method":"POST","path":"/api/v1/device/start","body":[1,2]})");
    Call("d", R"({"method":"POST","path":"/api/v1/device/start","body":{"name":"a","x":1,"name":"b","client":"c","client":"d"}})");

    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].body, R"({"scope":["render"],"name":)" + JsonQuote(DeviceName()) + R"(,"client":"archicad"})");
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/json");
    EXPECT_TRUE(requests[1].body.empty()) << "no body when the page sends none";
    EXPECT_FALSE(requests[1].Header("Content-Type").has_value());
    EXPECT_EQ(requests[2].body, "[1,2]") << "only an object gets the device's members";
    EXPECT_EQ(requests[3].body, R"({"x":1,"name":)" + JsonQuote(DeviceName()) + R"(,"client":"archicad"})")
        << "a repeated member may not name the device either";
    const std::string code = StringAt(started, "result.device_code");
    const auto devices = service->Devices();
    const auto device = std::find_if(devices.begin(), devices.end(), [&](const DeviceState& d) { return d.deviceCode == code; });
    ASSERT_NE(device, devices.end());
    EXPECT_EQ(device->name, DeviceName());
    EXPECT_EQ(device->client, "archicad");
}

TEST_F(Api, TheSignInThroughTheDeviceRoutes) {
    Open(false);
    service->SetApproveAtFirstPoll(false);
    const std::string started = Call("s", R"({"method":"POST","path":"/api/v1/device/start","body":{}})");
    const std::string code = StringAt(started, "result.device_code");
    ASSERT_FALSE(code.empty()) << started;
    const std::string poll = R"({"method":"POST","path":"/api/v1/device/token","body":{"device_code":)" + JsonQuote(code) + "}}";

    const std::string pending = Call("p", poll);
    EXPECT_EQ(ErrorCodeOf(pending), "authorization_pending") << pending;
    EXPECT_EQ(StringAt(pending, "error.reason"), "pending");
    EXPECT_FALSE(harness->palette().SignInState().SignedIn());

    ASSERT_TRUE(service->Decide(code, DeviceDecision::Approve));
    EXPECT_EQ(Call("t", poll), OkReply("t", R"({"authenticated":true})"));
    EXPECT_NE(Log().find("signed in; token saved\r\n"), std::string::npos);
    const std::string saved = TokenStore().Load();
    EXPECT_FALSE(saved.empty());
    EXPECT_EQ(harness->palette().SignInState().Token().text(), saved);
    EXPECT_EQ(harness->palette().SignInState().Reason(), "");
    EXPECT_EQ(Log().find(saved), std::string::npos) << "the token is never logged";

    // The new token is the one the service accepts.
    EXPECT_EQ(StringAt(Call("m", Get("/api/v1/me")), "result.id"), "acct_1");
    EXPECT_EQ(service->Record().requests.back().Header("Authorization"), "Bearer " + saved);
    // The code is used up.
    EXPECT_EQ(ErrorCodeOf(Call("again", poll)), "expired");
    EXPECT_EQ(harness->palette().SignInState().Token().text(), saved);
}

TEST_F(Api, ADeniedOrExpiredCodeLeavesTheAddOnSignedOut) {
    Open(false);
    service->SetApproveAtFirstPoll(false);
    for (const auto& [decision, expected] : {std::pair{DeviceDecision::Deny, "denied"},
                                             std::pair{DeviceDecision::Expire, "expired"}}) {
        const std::string code = StringAt(Call("s", R"({"method":"POST","path":"/api/v1/device/start"})"),
                                          "result.device_code");
        ASSERT_TRUE(service->Decide(code, decision));
        const std::string reply =
            Call("t", R"({"method":"POST","path":"/api/v1/device/token","body":{"device_code":)" + JsonQuote(code) + "}}");
        EXPECT_EQ(ErrorCodeOf(reply), expected) << reply;
        EXPECT_FALSE(harness->palette().SignInState().SignedIn());
        harness->page().ClearRecords();
    }
    EXPECT_TRUE(TokenStore().Load().empty());
}

TEST_F(Api, ATokenAnswerWithoutAUsableTokenIsInternal) {
    Open(false);
    const std::vector<std::string> bodies = {R"({"token":""})", R"({"token_type":"Bearer"})", R"({"token":42})",
                                             R"({"token":null})", R"(["token"])", "not json", ""};
    for (const std::string& body : bodies) {
        service->Script(ScriptedAnswer::Status(200, body).For("/api/v1/device/token"));
        const std::string reply = Call("t", R"({"method":"POST","path":"/api/v1/device/token","body":{"device_code":"d"}})");
        EXPECT_EQ(ErrorCodeOf(reply), "internal") << body;
        harness->page().ClearRecords();
    }
    EXPECT_FALSE(harness->palette().SignInState().SignedIn());
    EXPECT_TRUE(TokenStore().Load().empty());
    service->Script(ScriptedAnswer::Status(200, R"({"token":"tok-\u00e9-1","token_type":"Bearer"})").For("/api/v1/device/token"));
    EXPECT_EQ(Call("ok", R"({"method":"POST","path":"/api/v1/device/token","body":{"device_code":"d"}})"),
              OkReply("ok", R"({"authenticated":true})"));
    EXPECT_EQ(harness->palette().SignInState().Token().text(), "tok-\xC3\xA9-1");
    EXPECT_EQ(TokenStore().Load(), "tok-\xC3\xA9-1");
}

// --- Revocation and sign-out

TEST_F(Api, A401SignsOutWithTheEventBeforeTheErrorAndKeepsPageStates) {
    Open(true);
    ASSERT_TRUE(WriteStateFile("untitled:Untitled", R"({"tab":"render"})"));
    ASSERT_TRUE(service->RevokeToken(token));
    Call("m", Get("/api/v1/me"));
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], R"({"event":"signedOut","data":{"reason":"revoked"}})");
    EXPECT_EQ(ErrorCodeOf(messages[1]), "revoked");
    EXPECT_EQ(StringAt(messages[1], "error.message"), "Signed out on this computer. Sign in again.");
    EXPECT_FALSE(harness->palette().SignInState().SignedIn());
    EXPECT_EQ(harness->palette().SignInState().Reason(), "revoked");
    EXPECT_TRUE(TokenStore().Load().empty()) << "the token file is erased";
    EXPECT_TRUE(ReadStateFile("untitled:Untitled").has_value()) << "a revocation keeps the page states";
    // Another refused request finds no token to send.
    EXPECT_EQ(ErrorCodeOf(Call("again", Get("/api/v1/me"))), "revoked");
    EXPECT_EQ(service->Record().requests.size(), 1u);
}

TEST_F(Api, A401ForAnOlderTokenLeavesANewerSignInAlone) {
    Open(true);
    // The old token's request is answered 401 only after a new sign-in has finished.
    service->Script(ScriptedAnswer::Status(401, R"({"error":{"code":"revoked"}})").After(std::chrono::milliseconds(1500))
                        .For("/api/v1/me"));
    Post("old", Get("/api/v1/me"));
    ASSERT_TRUE(WaitForServiceRequests(1));
    service->Script(ScriptedAnswer::Status(200, R"({"token":"newer-token"})").For("/api/v1/device/token"));
    EXPECT_EQ(Call("t", R"({"method":"POST","path":"/api/v1/device/token","body":{"device_code":"d"}})"),
              OkReply("t", R"({"authenticated":true})"));
    ASSERT_TRUE(WaitForReplies({"old"}));
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(ErrorCodeOf(messages[1]), "revoked");
    for (const std::string& m : messages) EXPECT_EQ(m.find("signedOut"), std::string::npos) << m;
    EXPECT_EQ(harness->palette().SignInState().Token().text(), "newer-token");
    EXPECT_EQ(harness->palette().SignInState().Reason(), "");
    EXPECT_EQ(TokenStore().Load(), "newer-token");
}

TEST_F(Api, A401WhoseStepRunsAfterANewerTokenWasSavedKeepsThatToken) {
    Open(true);
    // The old token's request is refused at once; the new sign-in's answer comes a little later,
    // and the host drains neither completion before both workers are done. The revocation step,
    // posted first, runs while the palette still holds the old token, but the file already
    // holds the new one.
    service->Script(ScriptedAnswer::Status(401, R"({"error":{"code":"revoked"}})").For("/api/v1/me"));
    service->Script(ScriptedAnswer::Status(200, R"({"token":"newer-token"})")
                        .After(std::chrono::milliseconds(300))
                        .For("/api/v1/device/token"));
    Post("old", Get("/api/v1/me"));
    Post("t", R"({"method":"POST","path":"/api/v1/device/token","body":{"device_code":"d"}})");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ProcessMailbox()->workers.load() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(WaitForReplies({"old", "t"}));
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], R"({"event":"signedOut","data":{"reason":"revoked"}})");
    EXPECT_EQ(ErrorCodeOf(messages[1]), "revoked");
    EXPECT_EQ(messages[2], OkReply("t", R"({"authenticated":true})"));
    EXPECT_EQ(harness->palette().SignInState().Token().text(), "newer-token");
    EXPECT_EQ(TokenStore().Load(), "newer-token") << "the sign-in said its token was saved; it stays saved";
}

TEST_F(Api, SignOutIsLocalAtOnceAndTellsTheService) {
    Open(true);
    ASSERT_TRUE(WriteStateFile("untitled:Untitled", R"({"tab":"render"})"));
    const uint64_t active = service->Account().activeTokens;
    EXPECT_EQ(Call("d", R"({"method":"DELETE","path":"/api/v1/device/tokens/current"})"), OkReply("d", "{}"));
    EXPECT_EQ(service->Account().activeTokens, active - 1);
    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("Authorization"), "Bearer " + token) << "the request carries the token it signs out";
    EXPECT_FALSE(harness->palette().SignInState().SignedIn());
    EXPECT_EQ(harness->palette().SignInState().Reason(), "");
    EXPECT_TRUE(TokenStore().Load().empty());
    EXPECT_FALSE(ReadStateFile("untitled:Untitled").has_value()) << "a sign-out deletes the page states";
    for (const std::string& m : Messages()) EXPECT_EQ(m.find("signedOut"), std::string::npos) << m;
}

TEST_F(Api, SignOutDeletesTheTokenAndStatesWhenTheDataFolderCannotBeMadeJustThen) {
    Open(true);
    ASSERT_TRUE(WriteStateFile("untitled:Untitled", R"({"tab":"render"})"));
    {
        FaultyFiles faults;
        faults.FailAt(FileCall::MakeFolder, 1, true);
        EXPECT_EQ(Call("d", R"({"method":"DELETE","path":"/api/v1/device/tokens/current"})"), OkReply("d", "{}"));
    }
    EXPECT_FALSE(harness->palette().SignInState().SignedIn());
    EXPECT_TRUE(TokenStore().Load().empty()) << "the next start must not sign in again";
    EXPECT_FALSE(ReadStateFile("untitled:Untitled").has_value());
}

TEST_F(Api, ASignOutWhoseWorkerCannotStartIsStillOk) {
    Open(true);
    // An ordinary request then has no answer but "network".
    RefuseThreadStartsForTesting(1);
    EXPECT_EQ(ErrorCodeOf(Call("m", Get("/api/v1/me"))), "network");
    RefuseThreadStartsForTesting(1);
    EXPECT_EQ(Call("out", R"({"method":"DELETE","path":"/api/v1/device/tokens/current"})"), OkReply("out", "{}"));
    RefuseThreadStartsForTesting(0);
    EXPECT_FALSE(harness->palette().SignInState().SignedIn());
    EXPECT_TRUE(service->Record().requests.empty()) << "neither request was sent";
}

TEST_F(Api, SignOutWhileTheServiceIsDownIsStillOk) {
    Open(true);
    ASSERT_TRUE(WriteStateFile("untitled:Untitled", R"({"tab":"render"})"));
    for (const ScriptedAnswer& fault : {ScriptedAnswer::DropConnection(), ScriptedAnswer::Status(401),
                                        ScriptedAnswer::Status(503, "", {"Retry-After: 30"})}) {
        if (!harness->palette().SignInState().SignedIn()) {
            token = service->IssueToken();
            harness->palette().SignInState().SignIn(SecretString(token));
        }
        service->Script(ScriptedAnswer(fault).For("/api/v1/device/tokens/current"));
        EXPECT_EQ(Call("d", R"({"method":"DELETE","path":"/api/v1/device/tokens/current"})"), OkReply("d", "{}"));
        EXPECT_FALSE(harness->palette().SignInState().SignedIn());
        harness->page().ClearRecords();
    }
    EXPECT_TRUE(TokenStore().Load().empty());
    EXPECT_FALSE(ReadStateFile("untitled:Untitled").has_value());
}

// --- Answers

TEST_F(Api, AnswersArePassedBackAsCompactJson) {
    Open(true);
    struct Case {
        std::string body, reply;
    } cases[] = {
        {"[1, {\"a\" : true}, null]", OkReply("r", R"([1,{"a":true},null])")},
        {"", OkReply("r", "{}")},
        {"\"text\"", OkReply("r", R"("text")")},
        {"{\"n\": 0.5, \"s\": \"\\u00e9\"}", OkReply("r", "{\"n\":0.5,\"s\":\"\xC3\xA9\"}")},
    };
    for (const Case& c : cases) {
        service->Script(ScriptedAnswer::Status(200, c.body).For("/api/v1/me"));
        EXPECT_EQ(Call("r", Get("/api/v1/me")), c.reply) << c.body;
        harness->page().ClearRecords();
    }
    service->Script(ScriptedAnswer::Status(204).For("/api/v1/me"));
    EXPECT_EQ(Call("r", Get("/api/v1/me")), OkReply("r", "{}"));
    harness->page().ClearRecords();
    service->Script(ScriptedAnswer::Status(200, "{broken").For("/api/v1/me"));
    EXPECT_EQ(ErrorCodeOf(Call("r", Get("/api/v1/me"))), "internal");
    harness->page().ClearRecords();
    // A number past the largest double is read as infinity, which JSON cannot spell: passed on,
    // the reply was cut short and never reached the page.
    service->Script(ScriptedAnswer::Status(200, R"({"credits":1.8e308})").For("/api/v1/me"));
    EXPECT_EQ(ErrorCodeOf(Call("r", Get("/api/v1/me"))), "internal");
    harness->page().ClearRecords();
    // A service error keeps its code, reason and retry-after.
    service->Script(ScriptedAnswer::Status(429, R"({"error":{"code":"busy","reason":"queue_full"},"retry_after":12})")
                        .For("/api/v1/me"));
    const std::string busy = Call("r", Get("/api/v1/me"));
    EXPECT_EQ(busy, R"({"id":"r","ok":false,"error":{"code":"busy","message":"Ovra is busy. We will try again shortly.",)"
                    R"("reason":"queue_full","retry_after":12}})");
}

TEST_F(Api, AResultPictureIsStoredWholeWithAJpegPreview) {
    Open(true);
    const std::string uploaded = Call("u", Upload(StoredFile("not a picture, but a capture"), R"({"binary":true})"));
    const std::string job = Call("g", R"({"method":"POST","path":"/api/v1/generations","body":{"upload_id":)" +
                                          JsonQuote(StringAt(uploaded, "result.id")) +
                                          R"(},"options":{"idempotencyKey":"result-1"}})");
    const std::string poll = StringAt(job, "result.poll");
    ASSERT_FALSE(poll.empty()) << job;
    std::string done;
    for (int i = 0; i < 5 && StringAt(done, "result.status") != "done"; ++i) {
        harness->page().ClearRecords();
        done = Call("p", Get(poll, R"({"noCache":true})"));
    }
    const std::string resultPath = StringAt(done, "result.result.path");
    ASSERT_FALSE(resultPath.empty()) << done;

    const std::string reply = Call("d", Get(resultPath, R"({"binary":true})"));
    const std::string ref = StringAt(reply, "result.fileRef");
    EXPECT_EQ(ref.rfind("res", 0), 0u) << reply;
    EXPECT_EQ(StringAt(reply, "result.dataUrl").rfind("data:image/jpeg;base64,/9j/", 0), 0u) << "the preview";
    EXPECT_EQ(StringAt(reply, "result.url"), StringAt(reply, "result.dataUrl"));
    std::string stored;
    ASSERT_TRUE(LoadFileRef(ref, &stored, 1u << 30));
    const std::string served = CallService(u"GET", resultPath, token, u"en", "", u"", 20000).body;
    EXPECT_EQ(stored.substr(0, 8), "\x89PNG\r\n\x1A\n");
    EXPECT_TRUE(stored == served) << "the stored file holds the downloaded bytes unchanged";
    EXPECT_NE(Log().find(" api GET " + resultPath + " (binary)\r\n"), std::string::npos);
}

TEST_F(Api, OtherDownloadsAreTheirOwnDataUrl) {
    Open(true);
    const std::string video("\0\0\0\x10" "ftypmp42\0\0\0\0", 16);
    const std::string unknown = "plain bytes";
    service->Script(ScriptedAnswer::Status(200, video, {"Content-Type: video/mp4"}).For("/files/job_9/result.mp4"));
    service->Script(ScriptedAnswer::Status(200, unknown).For("/files/job_9/notes"));
    service->Script(ScriptedAnswer::Status(200, "").For("/files/job_9/empty"));
    const std::string mp4 = Call("v", Get("/files/job_9/result.mp4", R"({"binary":true})"));
    EXPECT_EQ(StringAt(mp4, "result.dataUrl"), "data:video/mp4;base64,AAAAEGZ0eXBtcDQyAAAAAA==") << mp4;
    std::string stored;
    ASSERT_TRUE(LoadFileRef(StringAt(mp4, "result.fileRef"), &stored, 1u << 20));
    EXPECT_TRUE(stored == video);
    // Bytes of no known type that are no picture either: the data URL has no type to give.
    const std::string other = Call("o", Get("/files/job_9/notes", R"({"binary":true})"));
    EXPECT_EQ(StringAt(other, "result.dataUrl"), "data:application/octet-stream;base64,cGxhaW4gYnl0ZXM=") << other;
    EXPECT_EQ(ErrorCodeOf(Call("e", Get("/files/job_9/empty", R"({"binary":true})"))), "save_failed");
}

// --- Fetching a result for placing and saving

TEST_F(Api, FetchSourceTakesTheStoredFileOrDownloadsThePath) {
    Open(true);
    const SecretString secret(token);
    std::string bytes, code;
    const std::string ref = StoredFile("stored bytes");
    EXPECT_TRUE(FetchSource({ref, "/files/job_1/result.png"}, secret, u"en", &bytes, &code));
    EXPECT_EQ(bytes, "stored bytes") << "a reference that is set wins";
    EXPECT_FALSE(FetchSource({NewFileRef("res"), ""}, secret, u"en", &bytes, &code));
    EXPECT_EQ(code, "missing_file");
    EXPECT_FALSE(FetchSource({"../x", ""}, secret, u"en", &bytes, &code));
    EXPECT_EQ(code, "missing_file");
    EXPECT_FALSE(FetchSource({"", "/files/job_1/result.png/"}, secret, u"en", &bytes, &code));
    EXPECT_EQ(code, "invalid_request");
    EXPECT_FALSE(FetchSource({"", "/files/job_1/result.png"}, SecretString(), u"en", &bytes, &code));
    EXPECT_EQ(code, "revoked");
    EXPECT_TRUE(service->Record().requests.empty());

    service->Script(ScriptedAnswer::Status(200, "result bytes").For("/files/job_1/result.png"));
    EXPECT_TRUE(FetchSource({"", "https://app.ovra.example/files/job_1/result.png"}, secret, u"en", &bytes, &code));
    EXPECT_EQ(bytes, "result bytes");
    service->Script(ScriptedAnswer::Status(200, "").For("/files/job_1/result.png"));
    EXPECT_FALSE(FetchSource({"", "/files/job_1/result.png"}, secret, u"en", &bytes, &code));
    EXPECT_EQ(code, "missing_file");
    service->Script(ScriptedAnswer::Status(401).For("/files/job_1/result.png"));
    EXPECT_FALSE(FetchSource({"", "/files/job_1/result.png"}, secret, u"en", &bytes, &code));
    EXPECT_EQ(code, "revoked");
    EXPECT_EQ(harness->palette().SignInState().Token().text(), token) << "no revocation step is made here; the caller reports the code";
    service->Script(ScriptedAnswer::DropConnection().For("/files/job_1/result.png"));
    EXPECT_FALSE(FetchSource({"", "/files/job_1/result.png"}, secret, u"en", &bytes, &code));
    EXPECT_EQ(code, "network");
    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(OwnLines(requests[0]),
              (std::vector<std::string>{kIdentification, "Accept-Language: en", "Authorization: Bearer " + token}));
}

// --- Time-outs, shortened through the host extension

TEST_F(Api, EachKindOfRequestHasItsOwnTimeOut) {
    if (RunningUnderWine()) GTEST_SKIP() << "Wine 8: WinHttpSetTimeouts never times out a response that does not come";
    // Divided by 30: 2 s for an ordinary request, 6 s for a download, 10 s for an upload. Answers
    // after 4 s and 8 s tell each limit from the others.
    Open(true, 30);
    using std::chrono::milliseconds;
    service->Script(ScriptedAnswer::Status(200, "{}").After(milliseconds(4000)).For("/api/v1/me"));
    service->Script(ScriptedAnswer::Status(200, "bytes").After(milliseconds(4000)).For("/files/job_1/result.png"));
    service->Script(ScriptedAnswer::Status(200, "bytes").After(milliseconds(8000)).For("/files/job_2/result.png"));
    service->Script(ScriptedAnswer::Status(201, "{}").After(milliseconds(8000)).For("/api/v1/uploads"));
    Post("ordinary", Get("/api/v1/me"));
    Post("download", Get("/files/job_1/result.png", R"({"binary":true})"));
    Post("late-download", Get("/files/job_2/result.png", R"({"binary":true})"));
    Post("upload", Upload(StoredFile("abc"), R"({"binary":true})"));
    ASSERT_TRUE(WaitForReplies({"ordinary", "download", "late-download", "upload"}));
    EXPECT_EQ(harness->OnlyReplyTo("ordinary")->ErrorCode(), "network");
    EXPECT_TRUE(harness->OnlyReplyTo("download")->Ok()) << harness->OnlyReplyTo("download")->json;
    EXPECT_EQ(harness->OnlyReplyTo("late-download")->ErrorCode(), "network");
    EXPECT_TRUE(harness->OnlyReplyTo("upload")->Ok()) << harness->OnlyReplyTo("upload")->json;
    EXPECT_EQ(harness->palette().SignInState().Token().text(), token) << "a time-out changes nothing of the sign-in";
}

}  // namespace

namespace {
// A page numbers its requests per load ("ui-1", "ui-2", ...). A request still running when the
// project changes answers the page that sent it, which is gone: the reloaded page's own "ui-1"
// gets its own answer and never the old one, whichever call-back comes first after the change.
class ApiAcrossAReload : public ApiFixture {
protected:
    void ReplyInFlightAtTheChange(bool callBackFirst) {
        Open(true);
        service->Script(
            ScriptedAnswer::Status(200, R"({"old":true})").After(std::chrono::milliseconds(600)).For("/api/v1/me"));
        Post("ui-1", R"({"method":"GET","path":"/api/v1/me","body":null,"options":{}})");
        ASSERT_TRUE(WaitForServiceRequests(1));
        harness->host().SendProjectEvent(4);
        if (callBackFirst) harness->host().RunEventLoopCalls();
        harness->host().Turn();
        ASSERT_EQ(harness->page().Loads().size(), 2u);
        harness->host().FinishPageLoad();
        harness->Post(Request("ui-1", "getState"));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (Log().find("reply dropped after reload ui-1") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            harness->host().Turn();
        for (int i = 0; i < 3; ++i) harness->host().Turn();
        const auto replies = harness->page().RepliesTo("ui-1");
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_NE(replies.front()->json.find(R"("session":)"), std::string::npos) << "its own getState's answer";
        EXPECT_NE(Log().find("reply dropped after reload ui-1"), std::string::npos);
    }
};

TEST_F(ApiAcrossAReload, AReplyInFlightNeverAnswersTheReloadedPageWhenIdleComesFirst) {
    ReplyInFlightAtTheChange(false);
}

TEST_F(ApiAcrossAReload, AReplyInFlightNeverAnswersTheReloadedPageWhenTheEventLoopCallBackComesFirst) {
    ReplyInFlightAtTheChange(true);
}
}  // namespace
