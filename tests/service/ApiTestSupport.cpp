// The common start of the "api" suites.
#include "service/ApiTestSupport.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "panel/Language.h"
#include "panel/Mailbox.h"
#include "panel/Replies.h"
#include "platform/Utf.h"
#include "store/TokenStore.h"

void ApiFixture::SetUp() {
    harness = std::make_unique<Harness>(false);
    service = TestService::Start();
    // The language the add-on chose at load, from the host's and the user's.
    service->ExpectLanguage(Utf16ToUtf8(uiLanguage));
}

void ApiFixture::TearDown() {
    // Workers still running (a test that failed before its replies came) end before the service.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ProcessMailbox()->workers.load() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    harness.reset();
    service.reset();
}

void ApiFixture::Open(bool signedIn, uint32_t timeoutDivisor) {
    harness->host().UseService(service->Port(), service->CaFile(), timeoutDivisor);
    if (signedIn) {
        token = service->IssueToken();
        ASSERT_TRUE(TokenStore().Save(token));
    }
    harness->host().OpenPaletteFromMenu();
    ASSERT_NE(harness->host().Page(), nullptr);
    harness->host().FinishPageLoad();
}

void ApiFixture::Post(const std::string& id, const std::string& payload) {
    harness->Post(Request(id, "api", payload));
}

bool ApiFixture::WaitForReplies(const std::vector<std::string>& ids) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        harness->host().Turn();
        const bool all = std::all_of(ids.begin(), ids.end(),
                                     [&](const std::string& id) { return !harness->page().RepliesTo(id).empty(); });
        if (all) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string ApiFixture::Call(const std::string& id, const std::string& payload) {
    Post(id, payload);
    if (!WaitForReplies({id})) return {};
    const auto replies = harness->page().RepliesTo(id);
    EXPECT_EQ(replies.size(), 1u) << "replies to " << id;
    return replies.front()->json;
}

bool ApiFixture::WaitForServiceRequests(size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (service->Record().requests.size() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string ApiFixture::Log() const { return ReadFileText(harness->folders().dataFolder() / "host.log"); }

std::vector<std::string> ApiFixture::Messages() const {
    std::vector<std::string> texts;
    for (const auto& m : harness->host().Page()->Messages()) texts.push_back(m.json);
    return texts;
}

std::string Numbered(std::string prefix, size_t number) {
    prefix += std::to_string(number);
    return prefix;
}

std::string OkReply(const std::string& id, const std::string& result) {
    return "{\"id\":" + JsonQuote(id) + ",\"ok\":true,\"result\":" + result + "}";
}

namespace {
const rapidjson::Value* At(const rapidjson::Value& root, const std::string& path) {
    const rapidjson::Value* value = &root;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t dot = std::min(path.find('.', start), path.size());
        const std::string name = path.substr(start, dot - start);
        if (!value->IsObject()) return nullptr;
        const auto it = value->FindMember(name.c_str());
        if (it == value->MemberEnd()) return nullptr;
        value = &it->value;
        start = dot + 1;
    }
    return value;
}
}  // namespace

std::string StringAt(const std::string& json, const std::string& path) {
    rapidjson::Document doc;
    doc.Parse(json.data(), json.size());
    if (doc.HasParseError()) return {};
    const rapidjson::Value* value = At(doc, path);
    return value != nullptr && value->IsString() ? std::string(value->GetString(), value->GetStringLength())
                                                 : std::string();
}

std::string ErrorCodeOf(const std::string& reply) { return StringAt(reply, "error.code"); }

std::vector<std::string> OwnLines(const RecordedRequest& request) {
    std::vector<std::string> lines;
    for (const std::string& line : request.headerLines) {
        std::string name = line.substr(0, line.find(':'));
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        if (name != "host" && name != "user-agent" && name != "content-length" && name != "connection")
            lines.push_back(line);
    }
    return lines;
}
