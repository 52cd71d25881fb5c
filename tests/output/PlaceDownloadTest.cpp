// Placing an image named by a service path: downloaded with the device token on a worker, then
// placed in its turn; and a project change while the download runs.
#include <gtest/gtest.h>

#include "media/TestImages.h"
#include "output/OutputTestSupport.h"
#include "panel/Language.h"
#include "platform/Utf.h"
#include "support/TestService.h"

namespace {

class PlacingADownload : public ::testing::Test {
protected:
    void SetUp() override {
        try {
            service = TestService::Start();
            service->ExpectLanguage(Utf16ToUtf8(uiLanguage));
        } catch (const std::runtime_error& e) {
            GTEST_SKIP() << "no simulated service here: " << e.what();
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

// A fault of the add-on, kept in view: a download for placing (FetchSource) carries the device
// token to whatever path the page names, even to an endpoint that takes none, where the "api"
// request never sends it. The violation is expected here until the add-on leaves the token off.
TEST_F(PlacingADownload, ADownloadFromATokenFreeEndpointStillCarriesTheToken) {
    service->ExpectViolation("GET /api/v1/plugin/config: a token sent to a token-free endpoint");
    h.Post(Request("c", "place", R"({"path":"/api/v1/plugin/config","label":"Config"})"));
    ASSERT_NE(RunUntilReply(h, "c"), nullptr);
    const auto requests = service->Record().requests;
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("Authorization"), "Bearer device-token-1");
}

}  // namespace
