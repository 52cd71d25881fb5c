// The host contract of the event-loop call: an accepted call brings the module command, silent,
// from the host's event loop, never inside the call itself nor inside an idle notification, in
// whichever order the host gives idle and call-backs.
#include "host/ContractCase.h"

namespace {

using HostContractEventLoop = HostContract;


// Notes the idle notifications of the palette window.
class IdleNotes final : public PaletteObserver {
public:
    bool PanelCloseRequested() override { return true; }
    void PanelIdle() override {
        ContractCalls& calls = Calls();
        calls.order.push_back("idle");
        calls.inIdle = true;
        if (askInIdle) {
            askInIdle = false;
            asked = ContractHost().CallFromEventLoop(World().Module(), FourCharCode("TOVR"), 1, true);
        }
        calls.inIdle = false;
    }
    void PanelResized(int, int) override {}
    void PanelMoveBegin() override {}

    bool askInIdle = false;
    HostError asked = -1;
};

// A palette window that receives idle notifications, as the add-on's does.
std::unique_ptr<PaletteWindow> IdlePalette(HostApi& host, ContractWorld& world, IdleNotes* notes) {
    std::unique_ptr<PaletteWindow> window;
    if (host.CreatePaletteWindow({&world.Resources(), kContractDialogId, kContractIconId, kContractPaletteGuid},
                                 &window) != kHostOk ||
        window == nullptr)
        return nullptr;
    window->Attach(notes);
    window->BeginEventProcessing();
    window->EnableIdleEvents();
    window->Show(-32768);
    return window;
}

TEST_F(HostContractEventLoop, AnAcceptedCallBringsOneSilentModuleCommandLaterFromTheEventLoop) {
    ContractCalls& calls = Calls();
    const int before = calls.moduleCommands;
    ASSERT_EQ(host.CallFromEventLoop(world.Module(), FourCharCode("TOVR"), 1, true), kHostOk);
    EXPECT_EQ(calls.moduleCommands, before) << "the command ran inside the call";
    for (int turn = 0; turn < kTurns && calls.moduleCommands == before; ++turn) world.Turn();
    EXPECT_EQ(calls.moduleCommands, before + 1);
    EXPECT_TRUE(calls.lastSilent);
    for (int turn = 0; turn < 3; ++turn) world.Turn();
    EXPECT_EQ(calls.moduleCommands, before + 1) << "one call, one command";
}

TEST_F(HostContractEventLoop, ACallAskedInAnIdleNotificationComesAfterThatIdleNeverInsideOne) {
    IdleNotes notes;
    const std::unique_ptr<PaletteWindow> window = IdlePalette(host, world, &notes);
    ASSERT_NE(window, nullptr);
    ContractCalls& calls = Calls();
    for (int turn = 0; turn < kTurns && calls.order.empty(); ++turn) world.Turn();
    ASSERT_FALSE(calls.order.empty()) << "no idle notification came";
    calls.order.clear();
    calls.commandInsideIdle = false;
    const int before = calls.moduleCommands;

    notes.askInIdle = true;
    for (int turn = 0; turn < kTurns && calls.moduleCommands == before; ++turn) world.Turn();
    EXPECT_EQ(notes.asked, kHostOk);
    ASSERT_EQ(calls.moduleCommands, before + 1);
    EXPECT_FALSE(calls.commandInsideIdle);
    // The idle that asked comes first; the command follows it, before or after later idles.
    ASSERT_GE(calls.order.size(), 2u);
    EXPECT_EQ(calls.order.front(), "idle");
    window->Detach(&notes);
}

TEST_F(HostContractEventLoop, IdleNotificationsKeepComingWhileCallsAreAskedInThem) {
    IdleNotes notes;
    const std::unique_ptr<PaletteWindow> window = IdlePalette(host, world, &notes);
    ASSERT_NE(window, nullptr);
    ContractCalls& calls = Calls();
    calls.order.clear();
    const int before = calls.moduleCommands;
    int idles = 0;
    // Each idle asks for the next call, as the add-on's pump does while it has steps to run.
    for (int turn = 0; turn < kTurns; ++turn) {
        notes.askInIdle = true;
        world.Turn();
    }
    for (const std::string& what : calls.order) idles += what == "idle";
    EXPECT_GE(idles, 2) << "the calls starved the idle notifications";
    EXPECT_GE(calls.moduleCommands - before, 2) << "the idle notifications starved the calls";
    EXPECT_FALSE(calls.commandInsideIdle);
    window->Detach(&notes);
    for (int turn = 0; turn < 3; ++turn) world.Turn();  // the last asked call
}

}  // namespace
