// Win32: window rectangles, minimised test, moving without activation, screen DPI, thread timers,
// and the enumeration and printing of windows.
#include <windows.h>

#include <cstring>
#include <map>
#include <mutex>

#include "platform/NativeWindows.h"
#include "platform/win32/Wide.h"

namespace {
HWND Hwnd(NativeWindowHandle window) { return reinterpret_cast<HWND>(window); }
NativeWindowHandle Handle(HWND window) { return reinterpret_cast<NativeWindowHandle>(window); }

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<NativeWindowHandle>*>(list)->push_back(Handle(window));
    return TRUE;
}

// A memory device context compatible with the screen and a 32-bit top-down DIB section selected
// into it, each released on every path.
class PrintTarget {
public:
    PrintTarget(HDC screen, int width, int height) : memory_(::CreateCompatibleDC(screen)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // rows top to bottom
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        if (memory_ != nullptr)
            bitmap_ = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_ != nullptr) old_ = ::SelectObject(memory_, bitmap_);
    }
    ~PrintTarget() {
        if (old_ != nullptr) ::SelectObject(memory_, old_);
        if (bitmap_ != nullptr) ::DeleteObject(bitmap_);
        if (memory_ != nullptr) ::DeleteDC(memory_);
    }
    PrintTarget(const PrintTarget&) = delete;
    PrintTarget& operator=(const PrintTarget&) = delete;
    bool valid() const { return old_ != nullptr && bits_ != nullptr; }
    HDC dc() const { return memory_; }
    const uint32_t* pixels() const { return static_cast<const uint32_t*>(bits_); }

private:
    HDC memory_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

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

    std::vector<NativeWindowHandle> TopLevelWindows() const override {
        std::vector<NativeWindowHandle> windows;
        ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
        return windows;
    }

    std::vector<NativeWindowHandle> Descendants(NativeWindowHandle window) const override {
        std::vector<NativeWindowHandle> windows;
        if (window != 0) ::EnumChildWindows(Hwnd(window), CollectWindow, reinterpret_cast<LPARAM>(&windows));
        return windows;
    }

    std::vector<NativeWindowHandle> Children(NativeWindowHandle window) const override {
        std::vector<NativeWindowHandle> windows;
        if (window == 0) return windows;
        for (HWND child = ::GetWindow(Hwnd(window), GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
            windows.push_back(Handle(child));
        return windows;
    }

    bool IsOwnProcess(NativeWindowHandle window) const override {
        DWORD process = 0;
        return window != 0 && ::GetWindowThreadProcessId(Hwnd(window), &process) != 0 &&
               process == ::GetCurrentProcessId();
    }

    bool IsVisible(NativeWindowHandle window) const override {
        return window != 0 && ::IsWindowVisible(Hwnd(window)) != FALSE;
    }

    std::string ClassName(NativeWindowHandle window) const override {
        wchar_t name[65] = {};
        const int length = window != 0 ? ::GetClassNameW(Hwnd(window), name, 65) : 0;
        return length > 0 ? Narrow(std::wstring_view(name, static_cast<size_t>(length))) : std::string();
    }

    std::string Title(NativeWindowHandle window) const override {
        wchar_t title[257] = {};
        const int length = window != 0 ? ::GetWindowTextW(Hwnd(window), title, 257) : 0;
        return length > 0 ? Narrow(std::wstring_view(title, static_cast<size_t>(length))) : std::string();
    }

    bool PrintWindow(NativeWindowHandle window, int* width, int* height, std::vector<uint32_t>* argb) override {
        WindowRect rect;
        if (!GetRect(window, &rect) || rect.Width() <= 0 || rect.Height() <= 0) return false;
        const ScreenDc screen;
        if (screen.get() == nullptr) return false;
        PrintTarget target(screen.get(), rect.Width(), rect.Height());
        // 2: the full content, as composed by the window manager.
        if (!target.valid() || !::PrintWindow(Hwnd(window), target.dc(), 2)) return false;
        ::GdiFlush();
        const size_t count = static_cast<size_t>(rect.Width()) * static_cast<size_t>(rect.Height());
        argb->resize(count);
        const uint32_t* bits = target.pixels();
        for (size_t i = 0; i < count; ++i) (*argb)[i] = bits[i] | 0xFF000000u;
        *width = rect.Width();
        *height = rect.Height();
        return true;
    }
};
}  // namespace

NativeWindows& SystemWindows() {
    static Win32Windows windows;
    return windows;
}
