// The "api" request under load and at release: many requests at once under injected faults, each
// answered exactly once with the sign-in state consistent afterwards, and workers that outlive
// the add-on's release without reaching a palette opened later.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <thread>

#include "panel/Mailbox.h"
#include "panel/Replies.h"
#include "service/ApiTestSupport.h"
#include "store/TokenStore.h"
#include "support/Wine.h"

namespace fs = std::filesystem;

namespace {

using ApiLoad = ApiFixture;

// Every file under `root` whose bytes hold `secret`.
std::vector<std::string> FilesHolding(const fs::path& root, const std::string& secret) {
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (!it->is_regular_file()) continue;
        if (ReadFileText(it->path()).find(secret) != std::string::npos) found.push_back(it->path().string());
    }
    return found;
}

TEST_F(ApiLoad, TwoHundredRequestsUnderFaultsAreEachAnsweredOnce) {
    // Time-outs divided by 10: 6 s for these ordinary requests, so that silent answers end soon.
    Open(true, 10);
    constexpr int kRequests = 200;
    enum Fault { kSilent, kUnavailable, kDropped, kRefused, kAnswered, kFaults };
    const bool silentTimesOut = !RunningUnderWine();  // Wine 8 never times out a silent response
    std::vector<std::string> ids;
    std::map<std::string, Fault> faults;
    for (int i = 0; i < kRequests; ++i) {
        const std::string path = Numbered("/api/v1/load/", i);
        Fault fault = static_cast<Fault>(i % kFaults);
        if (fault == kSilent && !silentTimesOut) fault = kDropped;
        const auto delay = std::chrono::milliseconds((i * 37) % 300);
        ScriptedAnswer answer;
        switch (fault) {
            case kSilent: answer = ScriptedAnswer::NeverAnswer(); break;
            case kUnavailable: answer = ScriptedAnswer::Status(503, "", {"Retry-After: 7"}).After(delay); break;
            case kDropped: answer = ScriptedAnswer::DropConnection().After(delay); break;
            case kRefused: answer = ScriptedAnswer::Status(401, R"({"error":"revoked"})").After(delay); break;
            default: answer = ScriptedAnswer::Status(200, Numbered("{\"n\":", static_cast<size_t>(i)) + "}").After(delay); break;
        }
        service->Script(answer.For(path));
        const std::string id = Numbered("load-", i);
        ids.push_back(id);
        faults[id] = fault;
    }
    for (int i = 0; i < kRequests; ++i)
        Post(ids[static_cast<size_t>(i)], R"({"method":"GET","path":"/api/v1/load/)" + Numbered("", i) + R"("})");
    ASSERT_TRUE(WaitForReplies(ids));
    // Nothing further arrives once every worker is done.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ProcessMailbox()->workers.load() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    harness->host().Turn();

    const std::vector<std::string> messages = Messages();
    size_t events = 0, firstRevoked = messages.size(), event = messages.size();
    std::map<std::string, int> replies;
    for (size_t i = 0; i < messages.size(); ++i) {
        const std::string id = StringAt(messages[i], "id");
        if (id.empty()) {
            EXPECT_EQ(messages[i], R"({"event":"signedOut","data":{"reason":"revoked"}})");
            ++events;
            event = std::min(event, i);
            continue;
        }
        ++replies[id];
        const std::string code = ErrorCodeOf(messages[i]);
        switch (faults.at(id)) {
            case kSilent:
            case kDropped: EXPECT_EQ(code, "network") << messages[i]; break;
            case kUnavailable:
                EXPECT_EQ(code, "unavailable") << messages[i];
                EXPECT_NE(messages[i].find(",\"retry_after\":7}"), std::string::npos) << messages[i];
                break;
            case kRefused:
                EXPECT_EQ(code, "revoked") << messages[i];
                firstRevoked = std::min(firstRevoked, i);
                break;
            default:
                EXPECT_EQ(messages[i], OkReply(id, "{\"n\":" + id.substr(5) + "}"));
                break;
        }
    }
    EXPECT_EQ(replies.size(), ids.size());
    for (const auto& [id, count] : replies) EXPECT_EQ(count, 1) << id;
    EXPECT_EQ(events, 1u) << "one revocation signs out once";
    EXPECT_LT(event, firstRevoked) << "the event comes before the first revoked reply";

    EXPECT_FALSE(harness->palette().SignInState().SignedIn());
    EXPECT_EQ(harness->palette().SignInState().Reason(), "revoked");
    EXPECT_TRUE(TokenStore().Load().empty());
    EXPECT_FALSE(fs::exists(fs::u8path(TokenFilePath())));
    const ServiceRecord record = service->Record();
    const auto& requests = record.requests;
    EXPECT_EQ(requests.size(), static_cast<size_t>(kRequests)) << record.connections << " connections reached the service";
    for (const RecordedRequest& r : requests) EXPECT_EQ(r.Header("Authorization"), "Bearer " + token);

    // No token material anywhere in the add-on's files: the log, the store, the key's folder.
    EXPECT_EQ(FilesHolding(harness->folders().root(), token), std::vector<std::string>{});
    EXPECT_EQ(Log().find("Bearer"), std::string::npos);
}

TEST_F(ApiLoad, ASignInAmidLoadLeavesEveryFileButTheTokenFileFreeOfIt) {
    Open(false);
    const std::string issued = service->IssueToken();  // the answer hands out a token the service accepts
    service->Script(ScriptedAnswer::Status(200, "{\"token\":\"" + issued + "\"}").For("/api/v1/device/token"));
    std::vector<std::string> ids;
    for (int i = 0; i < 40; ++i) {
        ids.push_back(Numbered("c", i));
        Post(ids.back(), R"({"method":"GET","path":"/api/v1/plugin/config"})");
    }
    ids.push_back("t");
    Post("t", R"({"method":"POST","path":"/api/v1/device/token","body":{"device_code":"d"}})");
    ASSERT_TRUE(WaitForReplies(ids));
    ASSERT_EQ(harness->palette().SignInState().Token().text(), issued);
    for (int i = 0; i < 40; ++i) {
        ids.push_back(Numbered("m", i));
        Post(ids.back(), R"({"method":"GET","path":"/api/v1/me"})");
    }
    ASSERT_TRUE(WaitForReplies(ids));
    const std::vector<std::string> holding = FilesHolding(harness->folders().root(), issued);
    EXPECT_EQ(holding, std::vector<std::string>{}) << "the token file holds it protected, never in plain text";
    EXPECT_TRUE(fs::exists(fs::u8path(TokenFilePath())));
    EXPECT_EQ(TokenStore().Load(), issued);
}

TEST_F(ApiLoad, ReleaseGivesWorkersAboutThreeSecondsAndDropsWhatTheyAnswerLate) {
    Open(true);
    service->Script(ScriptedAnswer::Status(200, "{}").After(std::chrono::milliseconds(1500)).For("/api/v1/me"));
    service->Script(
        ScriptedAnswer::Status(200, R"({"token":"late-token"})").After(std::chrono::milliseconds(1500)).For("/api/v1/device/token"));
    Post("me", R"({"method":"GET","path":"/api/v1/me"})");
    Post("token", R"({"method":"POST","path":"/api/v1/device/token","body":{"device_code":"d"}})");
    ASSERT_TRUE(WaitForServiceRequests(2));

    const std::shared_ptr<Mailbox> released = ProcessMailbox();
    const auto before = harness->host().clock.Elapsed();
    EXPECT_EQ(harness->host().Release(), kHostOk);
    EXPECT_EQ(harness->host().clock.Elapsed() - before, std::chrono::milliseconds(3000));
    EXPECT_EQ(released->workers.load(), 2) << "both workers still run after release";

    // The add-on is loaded again and its palette opened before the late answers come.
    harness.reset();
    harness = std::make_unique<Harness>(false);
    Open(false);
    EXPECT_NE(ProcessMailbox(), released);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (released->workers.load() > 0 && std::chrono::steady_clock::now() < deadline) {
        harness->host().Turn();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(released->workers.load(), 0);
    for (int i = 0; i < 5; ++i) harness->host().Turn();
    EXPECT_TRUE(Messages().empty()) << "no late reply or event reaches the new page";
    EXPECT_FALSE(harness->palette().SignInState().SignedIn()) << "a late sign-in step never signs in a new palette";
    EXPECT_TRUE(TokenStore().Load().empty()) << "nor leaves its token in the file for the next palette";
    EXPECT_TRUE(TakeAll(*released).empty());
}

}  // namespace
