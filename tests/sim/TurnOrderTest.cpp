// The simulated host's turn: a pending page load, then the idle notification and the waiting
// event-loop call-backs in the order callbacksFirst chooses, whose default the environment
// variable TOVR_SIM_CALLBACKS_FIRST sets when the host is made.
#include <gtest/gtest.h>

#include <optional>

#include "sim/host/SimPicture.h"
#include "support/Harness.h"
#include "support/ScopedEnvironment.h"

namespace {

constexpr const char* kOrderVariable = "TOVR_SIM_CALLBACKS_FIRST";

// A file reference to a small PNG picked through the host's open-file dialog.
std::string PickedPicture(Harness& h) {
    SimPicture picture;
    picture.Allocate(4, 3);
    std::vector<uint8_t> png;
    if (!EncodePng(picture, &png)) return {};
    const std::filesystem::path file = h.folders().root() / "picked.png";
    WriteFileText(file, std::string(png.begin(), png.end()));
    h.host().dialogs.standingFileAnswer = file.string();
    h.Post(Request("pick", "pickFile", R"({"accept":["image/png"]})"));
    for (int turn = 0; turn < 20 && h.page().RepliesTo("pick").empty(); ++turn) h.host().Turn();
    const ScriptedPage::Message* reply = h.OnlyReplyTo("pick");
    if (reply == nullptr || !reply->Ok()) return {};
    return (*reply->document)["result"]["fileRef"].GetString();
}

TEST(SimTurnOrder, OnlyTheValueOneOfTheVariableMakesCallBacksComeFirst) {
    const struct {
        std::optional<std::string> value;
        bool callbacksFirst;
    } cases[] = {{std::nullopt, false}, {"1", true}, {"0", false}, {"", false}, {"true", false}, {"11", false}};
    for (const auto& c : cases) {
        const ScopedEnvironment order(kOrderVariable, c.value);
        Harness h(false);
        EXPECT_EQ(h.host().callbacksFirst, c.callbacksFirst) << c.value.value_or("(unset)");
    }
}

// A placement's model step runs at an idle notification and asks for an event-loop call-back,
// in which the worksheet is made: with idle first both come in one turn, with the call-backs
// first the placement waits for the next turn's.
TEST(SimTurnOrder, APlacementAnsweredInItsOwnTurnWhenIdleComesFirstAndInTheNextWhenCallBacksDo) {
    for (const bool callbacksFirst : {false, true}) {
        SCOPED_TRACE(callbacksFirst ? "call-backs first" : "idle first");
        const ScopedEnvironment order(kOrderVariable, std::nullopt);
        Harness h;
        h.host().callbacksFirst = callbacksFirst;
        const std::string fileRef = PickedPicture(h);
        ASSERT_FALSE(fileRef.empty());
        const size_t sheets = h.host().model.worksheets.size();

        h.Post(Request("place", "place", R"({"fileRef":")" + fileRef + R"(","label":"Turns"})"));
        h.host().Turn();
        EXPECT_EQ(h.page().RepliesTo("place").size(), callbacksFirst ? 0u : 1u);
        EXPECT_EQ(h.host().pendingEventLoopCalls, callbacksFirst ? 1 : 0);
        h.host().Turn();
        const ScriptedPage::Message* reply = h.OnlyReplyTo("place");
        ASSERT_NE(reply, nullptr);
        EXPECT_TRUE(reply->Ok()) << reply->json;
        EXPECT_EQ(h.host().model.worksheets.size(), sheets + 1);
    }
}

}  // namespace
