// The fuzz host's reset between inputs: whatever one input leaves behind (a listing's cameras, a
// stored state, a sign-out, a worksheet, files in the store, a failing host operation), the next
// input gets the replies it gets in a fresh run.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/FuzzHost.h"
#include "platform/Http.h"
#include "support/ScratchFolders.h"

namespace {
using namespace FuzzBridge;

// The fuzz host lives for the whole program; so do its scratch folders (the key's folder is on
// disk, the rest in memory).
class ScratchEnvironment final : public ::testing::Environment {
public:
    void SetUp() override { folders_ = std::make_unique<ScratchFolders>(); }
    void TearDown() override { folders_.reset(); }

private:
    std::unique_ptr<ScratchFolders> folders_;
};
[[maybe_unused]] ::testing::Environment* const kScratch = ::testing::AddGlobalTestEnvironment(new ScratchEnvironment);

HttpExchangeResult Answer(const HttpExchangeRequest& request) {
    HttpExchangeResult result;
    result.status = request.path.find("revoked") != std::string::npos ? 401 : 200;
    result.body = result.status == 200 ? R"({"credits":3})" : R"({"error":{"code":"revoked"}})";
    if (request.path == "/api/v1/device/token") result.body = R"({"token":"another-token-0123456789","token_type":"Bearer"})";
    return result;
}

// File references are random; each distinct one becomes "ref-N" in the order it first appears.
std::vector<std::string> Normalised(const std::vector<std::string>& replies) {
    static const std::regex reference("(cap|res|pick|upl)-[0-9a-f]{32}");
    std::map<std::string, std::string> names;
    std::vector<std::string> out;
    for (const std::string& reply : replies) {
        std::string text;
        auto last = reply.cbegin();
        for (std::sregex_iterator it(reply.begin(), reply.end(), reference), end; it != end; ++it) {
            text.append(last, reply.cbegin() + it->position());
            auto [named, fresh] = names.emplace(it->str(), "ref-" + std::to_string(names.size()));
            text += named->second;
            last = reply.cbegin() + it->position() + it->length();
        }
        text.append(last, reply.cend());
        out.push_back(text);
    }
    return out;
}

// The messages the page receives for each text, posted one after another, then the reset.
std::vector<std::string> RunInput(const std::vector<std::string>& texts) {
    SimHost& host = StartedHost();
    SetExchangeStandIn(Answer);
    std::vector<std::string> messages;
    for (const std::string& text : texts) {
        ScriptedPage& page = *host.Page();
        const size_t first = page.Messages().size();
        page.Post(text);
        Settle(host);
        for (size_t i = first; i < page.Messages().size(); ++i) messages.push_back(page.Messages()[i].json);
    }
    ResetForNextInput(host);
    return Normalised(messages);
}

// The messages are equal one by one; a difference shows the start of the message.
void ExpectSame(const std::vector<std::string>& got, const std::vector<std::string>& fresh, const std::string& when) {
    ASSERT_EQ(got.size(), fresh.size()) << when;
    for (size_t k = 0; k < got.size(); ++k)
        EXPECT_TRUE(got[k] == fresh[k]) << when << ", message " << k << ": " << got[k].substr(0, 240) << "\n  fresh: "
                                        << fresh[k].substr(0, 240);
}

// Reads what earlier inputs could have changed: a saved view captured before any listing, the
// stored page state, the sign-in, the worksheets a placement adds to, the store, the front window.
const std::vector<std::string> kProbe = {
    R"({"id":"early","type":"capture","payload":{"viewId":"nav-394BBC17-3059-494C-5102-25832BE09B75"}})",
    R"({"id":"state","type":"getState"})",
    R"({"id":"me","type":"api","payload":{"method":"GET","path":"/api/v1/me"}})",
    R"({"id":"list","type":"listViews"})",
    R"({"id":"cur","type":"capture","payload":{"viewId":"current"}})",
    R"({"id":"place","type":"place","payload":{"fileRef":"cap-00000000000000000000000000000001","label":"Render"}})",
    R"({"id":"save","type":"saveFiles","payload":{"folder":"Renders","files":[{"fileRef":"res-00000000000000000000000000000002","name":"sala.jpg"}]}})",
};

TEST(FuzzReset, AnInputGetsTheRepliesOfAFreshRunWhateverRanBefore) {
    const std::vector<std::string> fresh = RunInput(kProbe);
    ASSERT_EQ(fresh.size(), kProbe.size());
    const std::vector<std::vector<std::string>> before = {
        {R"({"id":"l","type":"listViews"})"},
        {R"({"id":"s","type":"setState","payload":{"state":{"tab":"render","n":7}}})"},
        {R"({"id":"o","type":"api","payload":{"method":"DELETE","path":"/api/v1/device/tokens/current"}})"},
        {R"({"id":"r","type":"api","payload":{"method":"GET","path":"/api/v1/revoked"}})"},
        {R"({"id":"t","type":"api","payload":{"method":"POST","path":"/api/v1/device/token","body":{"device_code":"d"}}})"},
        {R"({"id":"p","type":"place","payload":{"fileRef":"cap-00000000000000000000000000000001","label":"Render"}})",
         R"({"id":"v","type":"saveFiles","payload":{"folder":"Renders","files":[{"fileRef":"res-00000000000000000000000000000002","name":"sala.jpg"}]}})"},
        {R"({"id":"l","type":"listViews"})", R"({"id":"c","type":"capture","payload":{"viewId":"nav-394BBC17-3059-494C-5102-25832BE09B75"}})"},
        kProbe,
    };
    for (size_t i = 0; i < before.size(); ++i) {
        RunInput(before[i]);
        EXPECT_EQ(CurrentPaletteOrAbort().SignInState().Token().text(), kSessionToken) << "after input " << i;
        ExpectSame(RunInput(kProbe), fresh, "after input " + std::to_string(i));
    }
}

TEST(FuzzReset, WhatTheHostWasMadeToDoIsUndone) {
    const std::vector<std::string> fresh = RunInput(kProbe);
    SimHost& host = StartedHost();
    host.FailOperation("GetProjection3D", kSimErrGeneral);
    host.FailOperation("CreatePaletteWindow", kSimErrGeneral);
    host.UserBringToFront(SimWindowKind::k3D);
    host.model.worksheets.emplace_back();
    ResetForNextInput(host);
    ExpectSame(RunInput(kProbe), fresh, "after the host's changes");
    EXPECT_TRUE(host.model.worksheets.empty());
}
}  // namespace
