// The palette: the add-on's one window, holding the embedded browser, and the owner of the
// sign-in state, the model-operation queues, the capture state and the self-test state.
// Lives on the host thread only; worker threads reach it through the Mailbox.
#pragma once
#include <rapidjson/fwd.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/PaletteWindow.h"
#include "panel/Mailbox.h"
#include "panel/ViewState.h"
#include "platform/Clock.h"
#include "platform/NativeWindows.h"
#include "store/TokenStore.h"

// A queued model operation: the request id and the parsed request, read again when it runs.
struct ModelOp {
    std::string id;
    std::shared_ptr<rapidjson::Document> request;
};

class Palette final : public PaletteObserver {
public:
    // Creates the host's palette window and the palette around it; null when the host cannot
    // make the window.
    static std::unique_ptr<Palette> Create();
    ~Palette() override;

    Palette(const Palette&) = delete;
    Palette& operator=(const Palette&) = delete;

    void LoadPanel();
    void SizeToHost();
    void DockToHost();
    void OnLoadingStateChanged(bool isLoading);
    void OnProjectChanged();

    // Observer notifications of the host's palette window.
    bool PanelCloseRequested() override;
    void PanelIdle() override;
    void PanelResized(int dx, int dy) override;
    void PanelMoveBegin() override;

    // Stands for the host's palette base: the window and its browser item.
    std::unique_ptr<PaletteWindow> window;
    Browser& browser;

    TokenStore tokenStore;
    std::string token;
    std::string projectKey;
    uint32_t hostThreadId = 0;
    uintptr_t timerId = 0;
    bool draining = false;
    bool modalOpen = false;
    bool userMoved = false;
    bool positioning = false;
    bool adapterInjected = false;
    WindowRect hostRect;
    bool hostRectKnown = false;
    std::map<std::string, std::string> previews;
    std::deque<ModelOp> modelOps;
    std::deque<PaletteFunction> continuations;
    std::vector<PaletteFunction> eventLoopCalls;
    bool eventLoopCallPending = false;
    bool captureInFlight = false;
    // Counts project changes, so that work begun for one project can tell it no longer applies.
    uint32_t projectGeneration = 0;

    // The capture being served (one at a time): its request and view, from the moment the pump
    // takes it from the queue; the deadline it waits for; whether and what to restore after the
    // picture. captureTicket names the capture whose opening step waits for the host's event
    // loop: a project change answers that capture and moves the ticket on, so the step finds
    // itself stale and does nothing.
    std::string captureRequestId;
    std::string captureViewId;
    SteadyTime captureDeadline{};
    bool capturePending = false;
    bool restoreNeeded = true;
    ViewStateSnapshot savedViewState;
    uint64_t captureTicket = 0;

    int32_t selfTestStep = -1;
    bool selfTestAwaiting = false;
    SteadyTime selfTestDeadline{};
    std::string selfTestFileRef;
    std::string selfTestViewId;
    std::string selfTestUnavailableViewId;

    std::string sessionReason;

private:
    explicit Palette(std::unique_ptr<PaletteWindow> hostWindow);
};

// The live palette, set by the constructor and cleared by the destructor; read by the timer.
Palette* LivePalette();
