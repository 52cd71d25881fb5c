// Win32: window rectangles, minimised test, moving without activation, screen DPI, thread timers.
#include <windows.h>

#include <map>
#include <mutex>

#include "platform/NativeWindows.h"

namespace {
HWND Hwnd(NativeWindowHandle window) { return reinterpret_cast<HWND>(window); }

// The screen's device context, released on every path.
class ScreenDc {
public:
    ScreenDc() : dc_(::GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_ != nullptr) ::ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// A timer without a window hands its callback only the timer's id, so the procedure to run is
// looked up by that id.
std::mutex gTimersMutex;
std::map<UINT_PTR, TimerProc> gTimers;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    TimerProc proc = nullptr;
    {
        std::lock_guard<std::mutex> lock(gTimersMutex);
        const auto it = gTimers.find(id);
        if (it != gTimers.end()) proc = it->second;
    }
    // Called outside the lock: the procedure may stop its own timer.
    if (proc != nullptr) proc();
}

class Win32Windows final : public NativeWindows {
public:
    bool GetRect(NativeWindowHandle window, WindowRect* rect) override {
        RECT r{};
        if (window == 0 || !::GetWindowRect(Hwnd(window), &r)) return false;
        *rect = WindowRect{r.left, r.top, r.right, r.bottom};
        return true;
    }

    bool IsMinimised(NativeWindowHandle window) override { return window != 0 && ::IsIconic(Hwnd(window)) != FALSE; }

    bool MoveNoActivate(NativeWindowHandle window, int x, int y) override {
        return window != 0 &&
               ::SetWindowPos(Hwnd(window), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
    }

    int ScreenDpiY() override {
        const ScreenDc screen;
        return screen.get() == nullptr ? 0 : ::GetDeviceCaps(screen.get(), LOGPIXELSY);
    }

    uintptr_t StartTimer(unsigned periodMs, TimerProc proc) override {
        if (proc == nullptr) return 0;
        std::lock_guard<std::mutex> lock(gTimersMutex);
        const UINT_PTR id = ::SetTimer(nullptr, 0, periodMs, OnTimer);
        if (id != 0) gTimers[id] = proc;
        return id;
    }

    void StopTimer(uintptr_t id) override {
        if (id == 0) return;
        ::KillTimer(nullptr, id);
        std::lock_guard<std::mutex> lock(gTimersMutex);
        gTimers.erase(id);
    }
};
}  // namespace

NativeWindows& SystemWindows() {
    static Win32Windows windows;
    return windows;
}
