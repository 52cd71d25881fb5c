// The simulated host's palette window: a native window in SimWindows holding a scripted page.
#pragma once
#include <string>

#include "host/AddonResources.h"
#include "host/PaletteWindow.h"
#include "sim/browser/ScriptedPage.h"
#include "sim/host/SimWindows.h"

class SimPaletteWindow final : public PaletteWindow {
public:
    SimPaletteWindow(SimWindows& windows, const ResourceDialog& dialog, const std::function<void()>& onDestroyed);
    ~SimPaletteWindow() override;

    Browser& BrowserItem() override { return page; }
    NativeWindowHandle Handle() const override { return handle_; }
    void Attach(PaletteObserver* observer) override { observer_ = observer; }
    void Detach(PaletteObserver* observer) override;
    void SetGrowType(int type) override { growType = type; }
    void SetMinClientSize(int width, int height) override;
    void SetClientSize(int width, int height, int fixPoint, bool keepCentre) override;
    void BeginEventProcessing() override { processingEvents = true; }
    void EndEventProcessing() override { processingEvents = false; }
    void EnableIdleEvents() override { idleEvents = true; }
    void Show(int position) override;
    void Hide() override { visible = false; }
    bool IsVisible() const override { return visible; }
    void EnableItems() override { itemsEnabled = true; }
    void DisableItems() override { itemsEnabled = false; }
    void BeginMoveResizeItems() override { ++resizeDepth; }
    void ResizeItem(int item, int dx, int dy) override;
    void EndMoveResizeItems() override { --resizeDepth; }

    // Host-side events delivered to the observer.
    void DeliverIdle();
    bool DeliverCloseRequest();
    // The user resizes the window by dx, dy.
    void UserResize(int dx, int dy);
    bool ReceivesIdle() const { return observer_ != nullptr && processingEvents && idleEvents; }

    ScriptedPage page;
    std::string title;
    int growType = 0;
    int minWidth = 0, minHeight = 0;
    int clientWidth = 0, clientHeight = 0;
    int browserWidth = 0, browserHeight = 0;
    int lastShowPosition = 0;
    int showCount = 0;
    int clientSizeCalls = 0;
    bool processingEvents = false;
    bool idleEvents = false;
    bool visible = false;
    bool itemsEnabled = true;
    int resizeDepth = 0;
    // A browser item resized outside a begin/end pair.
    bool unpairedResize = false;

private:
    SimWindows& windows_;
    NativeWindowHandle handle_;
    PaletteObserver* observer_ = nullptr;
    std::function<void()> onDestroyed_;
};
