// Native windows and the host thread's timer: rectangles, the minimised test, moving without
// activation, the screen's DPI, a periodic thread timer, and the enumeration and printing of the
// process's windows. Host thread only.
// The default provider uses the operating system's windows; a simulated host installs its own.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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

    // Enumeration: the top-level windows; every descendant of a window, depth first, each before
    // its own children; a window's direct children, first to last.
    virtual std::vector<NativeWindowHandle> TopLevelWindows() const = 0;
    virtual std::vector<NativeWindowHandle> Descendants(NativeWindowHandle window) const = 0;
    virtual std::vector<NativeWindowHandle> Children(NativeWindowHandle window) const = 0;
    // True when the window belongs to the calling process.
    virtual bool IsOwnProcess(NativeWindowHandle window) const = 0;
    // True when the window and every ancestor are shown.
    virtual bool IsVisible(NativeWindowHandle window) const = 0;
    // The window's class name (at most 64 characters) and title (at most 256), in UTF-8.
    virtual std::string ClassName(NativeWindowHandle window) const = 0;
    virtual std::string Title(NativeWindowHandle window) const = 0;
    // The window's whole content at its rectangle's size, as the window draws it even when it is
    // covered: rows top to bottom, pixels 0xAARRGGBB with alpha 255. False when it cannot be had.
    virtual bool PrintWindow(NativeWindowHandle window, int* width, int* height, std::vector<uint32_t>* argb) = 0;
};

NativeWindows& Windows();
// nullptr restores the operating system's provider.
void InstallNativeWindows(NativeWindows* provider);
