// The host's modeless palette window that holds the embedded browser, and its observer.
#pragma once
#include <cstdint>
#include <memory>
#include "host/Browser.h"

class PaletteObserver {
public:
    virtual ~PaletteObserver() = default;
    // Return true to accept the close request.
    virtual bool PanelCloseRequested() = 0;
    virtual void PanelIdle() = 0;
    virtual void PanelResized(int dx, int dy) = 0;
    virtual void PanelMoveBegin() = 0;
};

// Opaque handle of a native window, as the native-window service knows it.
using NativeWindowHandle = uintptr_t;

class PaletteWindow {
public:
    virtual ~PaletteWindow() = default;
    virtual Browser& BrowserItem() = 0;
    virtual NativeWindowHandle Handle() const = 0;

    virtual void Attach(PaletteObserver* observer) = 0;
    virtual void Detach(PaletteObserver* observer) = 0;
    // Grow type 3 grows in both directions.
    virtual void SetGrowType(int growType) = 0;
    virtual void SetMinClientSize(int width, int height) = 0;
    virtual void SetClientSize(int width, int height, int fixPoint, bool keepCentre) = 0;
    virtual void BeginEventProcessing() = 0;
    virtual void EndEventProcessing() = 0;
    virtual void EnableIdleEvents() = 0;
    // position -32768 shows it where the host last kept it.
    virtual void Show(int position) = 0;
    virtual void Hide() = 0;
    virtual bool IsVisible() const = 0;
    virtual void EnableItems() = 0;
    virtual void DisableItems() = 0;
    virtual void BeginMoveResizeItems() = 0;
    virtual void ResizeItem(int item, int dx, int dy) = 0;
    virtual void EndMoveResizeItems() = 0;
};
