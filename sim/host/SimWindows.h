// Simulated native windows and thread timers: rectangles, a minimised flag, a screen DPI, and
// timers that fire as simulated time passes; a tree of windows with class names, titles,
// visibility and an owning process, which can be enumerated and printed as a window-printing
// provider does. Host thread only.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/NativeWindows.h"
#include "sim/host/SimClock.h"
#include "sim/host/SimPicture.h"

class SimWindows final : public NativeWindows {
public:
    explicit SimWindows(SimClock& clock) : clock_(clock) {}

    struct Window {
        WindowRect rect;
        bool minimised = false;
        // Called when a move begins, as the host's window reports it to its observer.
        std::function<void()> onMoveBegin;
        NativeWindowHandle parent = 0;  // 0 for a top-level window
        std::vector<NativeWindowHandle> children;  // in z-order, top first
        std::string className, title;  // UTF-8
        bool visible = true;
        uint32_t processId = kOwnProcess;
        // Draws the window's content at the size asked for; none draws a blank window.
        std::function<bool(int width, int height, SimPicture* picture)> paint;
    };
    // The process the add-on runs in; windows of other processes take any other id.
    static constexpr uint32_t kOwnProcess = 1;

    NativeWindowHandle Create(const WindowRect& rect);
    // A window with a class name and title; a child of `parent`, or top-level when it is 0.
    NativeWindowHandle CreateNamed(NativeWindowHandle parent, const WindowRect& rect, const std::string& className,
                                   const std::string& title);
    // Destroys the window and its descendants.
    void Destroy(NativeWindowHandle handle);
    Window* Find(NativeWindowHandle handle);
    const Window* Find(NativeWindowHandle handle) const;
    // Moves a window as the user's drag does.
    void UserMove(NativeWindowHandle handle, int x, int y);

    bool GetRect(NativeWindowHandle window, WindowRect* rect) override;
    bool IsMinimised(NativeWindowHandle window) override;
    bool MoveNoActivate(NativeWindowHandle window, int x, int y) override;
    int ScreenDpiY() override { return dpi; }
    uintptr_t StartTimer(unsigned periodMs, TimerProc proc) override;
    void StopTimer(uintptr_t id) override;

    // Enumeration and printing, as a window-printing provider offers them.
    std::vector<NativeWindowHandle> TopLevelWindows() const override;  // in creation order
    // Every descendant, depth first, each before its own children.
    std::vector<NativeWindowHandle> Descendants(NativeWindowHandle window) const override;
    std::vector<NativeWindowHandle> Children(NativeWindowHandle window) const override;
    bool IsOwnProcess(NativeWindowHandle window) const override;
    // Visible when it and every ancestor are.
    bool IsVisible(NativeWindowHandle window) const override;
    std::string ClassName(NativeWindowHandle window) const override;
    std::string Title(NativeWindowHandle window) const override;
    // The window's whole content at its rectangle's size, pixels 0xAARRGGBB (alpha 255), rows
    // top to bottom; false for an unknown window or an empty rectangle.
    bool PrintWindow(NativeWindowHandle window, int* width, int* height, std::vector<uint32_t>* argb) override;

    // Fires, in time order, every timer that fell due up to the clock's present time.
    void FireTimers();
    size_t ActiveTimers() const { return timers_.size(); }

    int dpi = 96;
    bool failTimerStart = false;

private:
    SimClock& clock_;
    struct Timer {
        unsigned periodMs;
        TimerProc proc;
        int64_t nextMs;
    };
    std::map<NativeWindowHandle, Window> windows_;
    std::map<uintptr_t, Timer> timers_;
    NativeWindowHandle nextHandle_ = 0x1000;
    uintptr_t nextTimer_ = 1;
};
