// Construction, destruction and the observer notifications of the palette.
#include "panel/Palette.h"

#include <rapidjson/document.h>

#include "host/AddonResources.h"
#include "host/HostApi.h"
#include "panel/ModelOps.h"
#include "panel/NativeObjects.h"
#include "panel/PaletteIdentity.h"
#include "panel/Upcalls.h"
#include "platform/Secure.h"
#include "platform/System.h"
#include "store/FileStore.h"
#include "store/Log.h"

namespace {
Palette* gLivePalette = nullptr;

constexpr int32_t kPaletteDialogId = 32600;
constexpr int32_t kPaletteIconId = 32601;
constexpr int32_t kBrowserItem = 1;
}  // namespace

Palette* LivePalette() { return gLivePalette; }

std::unique_ptr<Palette> Palette::Create() {
    PaletteWindowInfo info;
    info.resources = &ModuleResources();
    info.dialogId = kPaletteDialogId;
    info.iconId = kPaletteIconId;
    info.guid = PaletteGuid();
    std::unique_ptr<PaletteWindow> window;
    if (Host().CreatePaletteWindow(info, &window) != kHostOk || !window) return nullptr;
    return std::unique_ptr<Palette>(new Palette(std::move(window)));
}

Palette::Palette(std::unique_ptr<PaletteWindow> hostWindow)
    : window(std::move(hostWindow)), browser(window->BrowserItem()), hostThreadId(CurrentThreadId()) {
    gLivePalette = this;
    token = tokenStore.Load();
    PruneStore(60);
    window->Attach(this);
    window->SetGrowType(3);
    window->SetMinClientSize(300, 380);
    SizeToHost();
    window->BeginEventProcessing();
    window->EnableIdleEvents();
    browser.OnLoadingStateChanged([this](bool isLoading) { OnLoadingStateChanged(isLoading); });
    RegisterHost(*this);
    LoadPanel();
    timerId = Windows().StartTimer(100, OnTimer);
    WriteLog(std::string("palette created; token ") + (token.empty() ? "absent" : "present"));
    Upcalls().armSelfTest(*this, false);
}

Palette::~Palette() {
    if (timerId != 0) Windows().StopTimer(timerId);
    gLivePalette = nullptr;
    UnregisterHost(*this);
    window->EndEventProcessing();
    browser.OnLoadingStateChanged(nullptr);
    window->Detach(this);
    // A capture that has opened its view while the add-on is released puts the user's view back
    // first: nobody would restore it later.
    if (capturePending && restoreNeeded) savedViewState.Restore();
    // Queued model operations and pending functions go with the members, unanswered.
    SecureWipe(token);
}

bool Palette::PanelCloseRequested() {
    window->Hide();
    return true;
}

void Palette::PanelMoveBegin() {
    if (!positioning) userMoved = true;
}

void Palette::PanelResized(int dx, int dy) {
    window->BeginMoveResizeItems();
    window->ResizeItem(kBrowserItem, dx, dy);
    window->EndMoveResizeItems();
}

void Palette::PanelIdle() {
    if (!userMoved) {
        NativeWindowHandle main = 0;
        WindowRect rect;
        if (Host().GetMainWindow(&main) == kHostOk && main != 0 && !Windows().IsMinimised(main) &&
            Windows().GetRect(main, &rect) && (!hostRectKnown || !(rect == hostRect)))
            DockToHost();
    }
    DrainMailbox(*this, true);
}
