// Native windows and the host thread's timer: rectangles, the minimised test, moving without
// activation, the screen's DPI and a periodic thread timer. Host thread only.
// The default provider uses the operating system's windows; a simulated host installs its own.
#pragma once
#include <cstdint>
#include "host/PaletteWindow.h"

struct WindowRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

using TimerProc = void (*)();

class NativeWindows {
public:
    virtual ~NativeWindows() = default;
    virtual bool GetRect(NativeWindowHandle window, WindowRect* rect) = 0;
    virtual bool IsMinimised(NativeWindowHandle window) = 0;
    // Moves without resizing, without changing the z-order and without activating.
    virtual bool MoveNoActivate(NativeWindowHandle window, int x, int y) = 0;
    // The screen's vertical dots per inch; 0 or less when unknown.
    virtual int ScreenDpiY() = 0;
    // 0 when the timer cannot be started.
    virtual uintptr_t StartTimer(unsigned periodMs, TimerProc proc) = 0;
    virtual void StopTimer(uintptr_t id) = 0;
};

NativeWindows& Windows();
// nullptr restores the operating system's provider.
void InstallNativeWindows(NativeWindows* provider);
