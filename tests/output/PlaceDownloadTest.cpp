// Placing an image named by a service path: downloaded with the device token on a worker, then
// placed in its turn; and a project change while the download runs.
#include <gtest/gtest.h>

#include <thread>

#include "media/TestImages.h"
#include "output/OutputTestSupport.h"
#include "panel/Language.h"
#include "platform/Http.h"
#include "platform/Utf.h"
#include "support/TestService.h"
#include "support/Wine.h"

namespace {

class PlacingADownload : public ::testing::Test {
protected:
    void SetUp() override {
        // Without the service these cases test nothing: they fail rather than pass unseen.
        try {
            service = TestService::Start();
            service->ExpectLanguage(Utf16ToUtf8(uiLanguage));
        } catch (const std::runtime_error& e) {
            FAIL() << "no simulated service here: " << e.what();
        }
        h.palette().SignInState().SignIn(SecretString("device-token-1"));
    }
    Harness h;
    std::unique_ptr<TestService> service;
    const std::string png = PngFile(MakeBitmap(8, 2, [](int x, int) { return 0xFF102030u + uint32_t(x); }), false);
};

TEST_F(PlacingADownload, FetchesThePathWithTheTokenAndPlacesWhatCameBack) {
    service->Script(ScriptedAnswer::Status(200, png, {"Content-Type: image/png"}).For("/files/job_7/result.png"));
    h.Post(Request("d", "place", R"({"path":"/files/job_7/result.png","label":"Result"})"));
    const auto* reply = RunUntilReply(h, "d");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->json, R"({"id":"d","ok":true,"result":{"label":"Result"}})");
    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "GET /files/job_7/result.png HTTP/1.1");
    EXPECT_EQ(requests[0].Header("Authorization"), "Bearer device-token-1");
    const auto& sheets = h.host().model.worksheets;
    ASSERT_EQ(sheets.size(), 1u);
    ASSERT_EQ(sheets[0].pictures.size(), 1u);
    EXPECT_EQ(std::string(sheets[0].pictures[0].bytes.begin(), sheets[0].pictures[0].bytes.end()), png);
}

TEST_F(PlacingADownload, SignedOutOrRefusedDownloadsAnswerWithTheirCode) {
    service->Script(ScriptedAnswer::Status(404, R"({"error":{"code":"not_found","message":"gone"}})"));
    h.Post(Request("gone", "place", R"({"path":"/files/job_9/result.png"})"));
    EXPECT_EQ(RunUntilReply(h, "gone")->ErrorCode(), "not_found");
    h.palette().SignInState().SignOut();
    h.Post(Request("out", "place", R"({"path":"/files/job_9/result.png"})"));
    EXPECT_EQ(RunUntilReply(h, "out")->ErrorCode(), "revoked");
    EXPECT_EQ(service->Record().requests.size(), 1u) << "nothing is sent without a token";
    EXPECT_TRUE(h.host().model.worksheets.empty());
}

// Placing and saving fetch with the download's limit (180 s, divided by 30 here: 6 s): an answer
// after 4 s, past an ordinary request's limit, still arrives; one after 8 s does not.
TEST_F(PlacingADownload, TheFetchOfPlacingAndSavingGivesUpAtTheDownloadLimit) {
    if (RunningUnderWine()) GTEST_SKIP() << "Wine 8: WinHttpSetTimeouts never times out a response that does not come";
    ServiceEndpoint endpoint = CurrentServiceEndpoint();
    endpoint.timeoutDivisor = 30;
    SetServiceEndpoint(endpoint);
    h.host().project = {false, false, (h.folders().root() / "Casa.pln").string(), "Casa"};
    using std::chrono::milliseconds;
    service->Script(ScriptedAnswer::Status(200, png).After(milliseconds(4000)).For("/files/job_4/result.png"));
    service->Script(ScriptedAnswer::Status(200, png).After(milliseconds(8000)).For("/files/job_5/result.png"));
    service->Script(ScriptedAnswer::Status(200, png).After(milliseconds(8000)).For("/files/job_6/result.png"));
    h.Post(Request("in-time", "place", R"({"path":"/files/job_4/result.png"})"));
    h.Post(Request("late", "place", R"({"path":"/files/job_5/result.png"})"));
    h.Post(Request("late-save", "saveFiles", R"({"files":[{"path":"/files/job_6/result.png","name":"r"}]})"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((h.page().RepliesTo("in-time").empty() || h.page().RepliesTo("late").empty() ||
            h.page().RepliesTo("late-save").empty()) &&
           std::chrono::steady_clock::now() < deadline) {
        h.host().Turn();
        std::this_thread::sleep_for(milliseconds(2));
    }
    ASSERT_NE(h.OnlyReplyTo("in-time"), nullptr);
    EXPECT_TRUE(h.OnlyReplyTo("in-time")->Ok()) << h.OnlyReplyTo("in-time")->json;
    ASSERT_NE(h.OnlyReplyTo("late"), nullptr);
    EXPECT_EQ(h.OnlyReplyTo("late")->ErrorCode(), "network");
    ASSERT_NE(h.OnlyReplyTo("late-save"), nullptr);
    EXPECT_EQ(h.OnlyReplyTo("late-save")->ErrorCode(), "network");
    EXPECT_EQ(h.host().model.worksheets.size(), 1u);
}

// The download's completion belongs to the page that asked, which the project change replaced:
// nothing is placed in the project opened meanwhile, and the new page hears nothing of it.
TEST_F(PlacingADownload, AProjectChangeDuringTheDownloadPlacesNothingAndAnswersNoLaterPage) {
    service->Script(ScriptedAnswer::Status(200, png).After(std::chrono::milliseconds(300)));
    h.Post(Request("slow", "place", R"({"path":"/files/job_3/result.png"})"));
    h.Idle();  // the download starts
    h.host().project = {false, false, "/projects/other.pln", "other"};
    h.host().SendProjectEvent(4);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ProcessMailbox()->workers.load() > 0 && std::chrono::steady_clock::now() < deadline) h.host().Turn();
    for (int i = 0; i < 5; ++i) h.host().Turn();
    EXPECT_TRUE(h.page().RepliesTo("slow").empty());
    EXPECT_NE(LogText(h).find("reply dropped after reload slow"), std::string::npos);
    EXPECT_TRUE(h.host().model.worksheets.empty());
}

// An endpoint that takes no token gets none from a download for placing either, as from an "api"
// request.
TEST_F(PlacingADownload, ADownloadFromATokenFreeEndpointCarriesNoToken) {
    h.Post(Request("c", "place", R"({"path":"/api/v1/plugin/config","label":"Config"})"));
    ASSERT_NE(RunUntilReply(h, "c"), nullptr);
    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].Header("Authorization").has_value());
}

}  // namespace
