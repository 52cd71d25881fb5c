// Simulated native windows and thread timers: rectangles, a minimised flag, a screen DPI, and
// timers that fire as simulated time passes. Host thread only.
#pragma once
#include <functional>
#include <map>

#include "platform/NativeWindows.h"
#include "sim/host/SimClock.h"

class SimWindows final : public NativeWindows {
public:
    explicit SimWindows(SimClock& clock) : clock_(clock) {}

    struct Window {
        WindowRect rect;
        bool minimised = false;
        // Called when a move begins, as the host's window reports it to its observer.
        std::function<void()> onMoveBegin;
    };

    NativeWindowHandle Create(const WindowRect& rect);
    void Destroy(NativeWindowHandle handle);
    Window* Find(NativeWindowHandle handle);
    // Moves a window as the user's drag does.
    void UserMove(NativeWindowHandle handle, int x, int y);

    bool GetRect(NativeWindowHandle window, WindowRect* rect) override;
    bool IsMinimised(NativeWindowHandle window) override;
    bool MoveNoActivate(NativeWindowHandle window, int x, int y) override;
    int ScreenDpiY() override { return dpi; }
    uintptr_t StartTimer(unsigned periodMs, TimerProc proc) override;
    void StopTimer(uintptr_t id) override;

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
