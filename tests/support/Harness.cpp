// The common start of the behavioural suites.
#include "support/Harness.h"

#include <gtest/gtest.h>

#include "host/AddonAbi.h"
#include "panel/Replies.h"
#include "shell/Shell.h"

Harness::Harness(bool open) : host_(std::make_unique<SimHost>(AddonEntry{GetExportedFuncAddrs, SetImportedFuncAddrs})) {
    EXPECT_TRUE(host_->Start());
    if (open) {
        host_->OpenPaletteFromMenu();
        EXPECT_NE(host_->Page(), nullptr);
        if (host_->Page() != nullptr) host_->FinishPageLoad();
    }
}

Harness::~Harness() = default;

Palette& Harness::palette() {
    Palette* p = CurrentPalette();
    if (p == nullptr) throw std::logic_error("no palette is open");
    return *p;
}

void Harness::Post(const std::string& text) { page().Post(text); }

void Harness::Idle(int times) {
    for (int i = 0; i < times; ++i) host_->Idle();
}

void Harness::TurnFor(std::chrono::milliseconds duration) {
    for (auto turned = std::chrono::milliseconds(0); turned < duration; turned += std::chrono::milliseconds(100))
        host_->Turn();
}

std::vector<std::string> Harness::ReplyIds() const {
    std::vector<std::string> ids;
    for (const auto& m : host_->Page()->Messages()) ids.push_back(m.Id());
    return ids;
}

const ScriptedPage::Message* Harness::OnlyReplyTo(const std::string& id) const {
    const auto replies = host_->Page()->RepliesTo(id);
    EXPECT_EQ(replies.size(), 1u) << "replies to " << id;
    return replies.size() == 1 ? replies[0] : nullptr;
}

std::string Request(const std::string& id, const std::string& type, const std::string& payload) {
    std::string text = "{\"id\":" + JsonQuote(id) + ",\"type\":" + JsonQuote(type);
    if (!payload.empty()) text += ",\"payload\":" + payload;
    return text + "}";
}
