// Construction, destruction, the observer notifications and the serving request of the palette.
#include "panel/Palette.h"

#include <rapidjson/document.h>

#include "host/AddonResources.h"
#include "host/HostApi.h"
#include "panel/HostThread.h"
#include "panel/NativeObjects.h"
#include "panel/PaletteIdentity.h"
#include "panel/ProjectGeneration.h"
#include "panel/Replies.h"
#include "panel/Serving.h"
#include "panel/Upcalls.h"
#include "platform/System.h"
#include "store/FileStore.h"
#include "store/Log.h"

namespace {
Palette* gLivePalette = nullptr;

constexpr int32_t kPaletteDialogId = 32600;
constexpr int32_t kPaletteIconId = 32601;
constexpr int32_t kBrowserItem = 1;

const RequestTag kNoRequest;
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
    : window_(std::move(hostWindow)), browser_(window_->BrowserItem()) {
    SetHostThread();
    gLivePalette = this;
    PruneStore(60);
    window_->Attach(this);
    window_->SetGrowType(3);
    window_->SetMinClientSize(300, 380);
    SizeToHost();
    window_->BeginEventProcessing();
    window_->EnableIdleEvents();
    browser_.OnLoadingStateChanged([this](bool isLoading) {
        AtHostCallBack("page loading", [&] { OnLoadingStateChanged(isLoading); });
    });
    RegisterHost(*this);
    LoadPanel();
    timerId_ = Windows().StartTimer(100, OnTimer);
    WriteLog(std::string("palette created; token ") + (session_.SignedIn() ? "present" : "absent"));
    Upcalls().opened(*this, false);
}

Palette::~Palette() {
    if (timerId_ != 0) Windows().StopTimer(timerId_);
    gLivePalette = nullptr;
    UnregisterHost(*this);
    window_->EndEventProcessing();
    browser_.OnLoadingStateChanged(nullptr);
    window_->Detach(this);
    // A capture that has opened its view while the add-on is released puts the user's view back
    // first: nobody would restore it later. Queued model operations and pending functions go
    // with the members, unanswered.
    if (held_) held_->Cancel(*this, PumpHold::CancelReason::Release);
}

void Palette::CatchUpWithProject() {
    CheckHostThread("Palette::CatchUpWithProject");
    if (pageGeneration_ == CurrentProjectGeneration()) return;
    // What the old project's page is still owed is answered first, while it is the page.
    if (held_) held_->Cancel(*this, PumpHold::CancelReason::ProjectChange);
    for (const ModelOp& op : pump_.TakeQueued()) {
        const ServingScope scope(*this, op.tag);
        ReplyError(*this, op.tag.id, MakeFailure("view_not_found", "", 0));
    }
    previews_.clear();
    LoadPanel();
    Upcalls().opened(*this, true);
}

uint64_t Palette::LoadOfMessage(const std::atomic<uint64_t>& publishedLoad) {
    const uint64_t published = publishedLoad.load();
    const auto generation = static_cast<uint32_t>(published >> 32);
    return generation == CurrentProjectGeneration() ? (published & 0xFFFFFFFFu) : 0;
}

const RequestTag& Palette::Serving() const { return serving_ ? serving_->tag : kNoRequest; }

RequestTag Palette::HandOff() {
    if (!serving_) return kNoRequest;
    serving_->handedOn = true;
    return serving_->tag;
}

void Palette::NoteAnswered(const std::string& id) {
    if (serving_ && serving_->tag.id == id) serving_->answered = true;
}

bool Palette::PanelCloseRequested() {
    AtHostCallBack("close", [&] { window_->Hide(); });
    return true;
}

void Palette::PanelMoveBegin() {
    if (!positioning_) userMoved_ = true;
}

void Palette::PanelResized(int dx, int dy) {
    AtHostCallBack("resize", [&] {
        window_->BeginMoveResizeItems();
        window_->ResizeItem(kBrowserItem, dx, dy);
        window_->EndMoveResizeItems();
    });
}

void Palette::PanelIdle() {
    AtHostCallBack("idle", [&] {
        if (!userMoved_) {
            NativeWindowHandle main = 0;
            WindowRect rect;
            if (Host().GetMainWindow(&main) == kHostOk && main != 0 && !Windows().IsMinimised(main) &&
                Windows().GetRect(main, &rect) && (!hostRectKnown_ || !(rect == hostRect_)))
                DockToHost();
        }
        pump_.Drain(*this, true);
    });
}
