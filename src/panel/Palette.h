// The palette: the add-on's one window, holding the embedded browser, and the owner of the
// session, the page loads, the model-operation pump and the capture's slot. Lives on the host
// thread only; worker threads reach it through the Mailbox.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "host/PaletteWindow.h"
#include "panel/ModelOps.h"
#include "panel/PumpHold.h"
#include "panel/RequestTag.h"
#include "panel/Session.h"
#include "platform/NativeWindows.h"

class Palette final : public PaletteObserver {
public:
    // Creates the host's palette window and the palette around it; null when the host cannot
    // make the window.
    static std::unique_ptr<Palette> Create();
    ~Palette() override;

    Palette(const Palette&) = delete;
    Palette& operator=(const Palette&) = delete;

    // Loads the panel's page: a new page load, to which the requests it sends belong.
    void LoadPanel();
    void SizeToHost();
    void DockToHost();
    void OnLoadingStateChanged(bool isLoading);
    // Applies a project change the host has announced since the page was loaded, once, before
    // anything else runs for the old project: the waiting capture and the queued model
    // operations are answered "view_not_found", the previews are forgotten, and the page is
    // loaded again. Does nothing when there was no change. Every host call-back calls it first.
    void CatchUpWithProject();

    // Observer notifications of the host's palette window.
    bool PanelCloseRequested() override;
    void PanelIdle() override;
    void PanelResized(int dx, int dy) override;
    void PanelMoveBegin() override;

    // Stands for the host's palette base: the window and its browser item.
    PaletteWindow& Window() { return *window_; }
    Browser& PageBrowser() { return browser_; }

    Session& SignInState() { return session_; }
    const Session& SignInState() const { return session_; }
    ModelPump& Pump() { return pump_; }
    // The capture's slot: empty until the first capture fills it.
    std::unique_ptr<PumpHold>& HeldWork() { return held_; }
    // The preview data URLs of captured views, by view id, for the current project.
    std::map<std::string, std::string>& Previews() { return previews_; }
    // True when no model operation, step, event-loop call or capture waits.
    bool NothingWaits() const { return pump_.Empty() && !(held_ && held_->Holding()); }
    // The key of the project the page was loaded for.
    const std::string& PageProjectKey() const { return projectKey_; }
    // Whether the user has moved the palette since it was docked: then it stays where it is.
    bool UserMoved() const { return userMoved_; }

    // The page load a text that the page posts now belongs to: the current one, or 0 (no load)
    // when the project has changed since it was loaded, so that what the old page posts after
    // the host's notification is never served in the new project. Any thread.
    uint64_t MessageLoad() const { return LoadOfMessage(*published_); }
    // The same from the published pair that the native functions hold.
    static uint64_t LoadOfMessage(const std::atomic<uint64_t>& published);
    const std::shared_ptr<std::atomic<uint64_t>>& PublishedLoad() const { return published_; }
    // True while requests of `load` are answered: no page load has replaced it.
    bool IsCurrentLoad(uint64_t load) const { return load != 0 && load == pageLoad_; }

    // The request that the host-thread work running now serves; an empty tag for events.
    const RequestTag& Serving() const;
    // The serving request's tag, for work that will answer it later (a worker, a queued step):
    // the work running now is no longer the one to answer it should it fail.
    RequestTag HandOff();
    // Notes a reply to `id`, so that a failure of the work serving it does not answer it again.
    void NoteAnswered(const std::string& id);

private:
    friend class ServingScope;
    explicit Palette(std::unique_ptr<PaletteWindow> hostWindow);

    std::unique_ptr<PaletteWindow> window_;
    Browser& browser_;
    Session session_;
    ModelPump pump_;
    std::unique_ptr<PumpHold> held_;
    std::map<std::string, std::string> previews_;
    std::string projectKey_;
    uintptr_t timerId_ = 0;
    bool userMoved_ = false;
    bool positioning_ = false;
    bool adapterInjected_ = false;
    WindowRect hostRect_;
    bool hostRectKnown_ = false;

    // The current page load's number, from 1, and the project generation it was loaded in;
    // published together for the native functions, which the browser may call on any thread.
    uint64_t pageLoad_ = 0;
    uint32_t pageGeneration_ = 0;
    std::shared_ptr<std::atomic<uint64_t>> published_ = std::make_shared<std::atomic<uint64_t>>(0);

    // The innermost serving scope's state; null outside any.
    ServingState* serving_ = nullptr;
};

// The live palette, set by the constructor and cleared by the destructor; read by the timer.
Palette* LivePalette();
