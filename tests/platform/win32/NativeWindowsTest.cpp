// The Win32 native windows: rectangles, minimised test, moving without activation or z-order
// change, thread timers dispatching to their own procedures, and enumerating and printing
// windows. Under Wine the prefix uses the null graphics driver, so real windows exist without a
// display.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/NativeWindows.h"

namespace {
// A plain top-level window, destroyed on every path.
class TestWindow {
public:
    TestWindow(int x, int y, int width, int height) {
        hwnd_ = ::CreateWindowExW(0, L"STATIC", L"test", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr,
                                  nullptr);
        if (hwnd_ != nullptr) ::SetWindowPos(hwnd_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ~TestWindow() {
        if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND hwnd() const { return hwnd_; }
    NativeWindowHandle handle() const { return reinterpret_cast<NativeWindowHandle>(hwnd_); }

private:
    HWND hwnd_ = nullptr;
};

// Dispatches the thread's messages (timers among them) until `done` or the time limit.
template <typename Done>
void Pump(DWORD limitMs, Done done) {
    const DWORD start = ::GetTickCount();
    while (!done() && ::GetTickCount() - start < limitMs) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::Sleep(2);
    }
}

class Win32NativeWindows : public ::testing::Test {
protected:
    void SetUp() override { InstallNativeWindows(nullptr); }
    NativeWindows& windows = Windows();
};

int gTicksA = 0, gTicksB = 0, gSelfStopTicks = 0;
uintptr_t gSelfStopId = 0;
void TickA() { ++gTicksA; }
void TickB() { ++gTicksB; }
void TickAndStop() {
    ++gSelfStopTicks;
    Windows().StopTimer(gSelfStopId);
}
}  // namespace

TEST_F(Win32NativeWindows, RectangleIsTheWindowsScreenRectangle) {
    const TestWindow w(40, 30, 300, 200);
    ASSERT_NE(w.hwnd(), nullptr);
    WindowRect r;
    ASSERT_TRUE(windows.GetRect(w.handle(), &r));
    EXPECT_EQ(r, (WindowRect{40, 30, 340, 230}));
}

TEST_F(Win32NativeWindows, MissingWindowsAnswerNothing) {
    HWND gone = nullptr;
    {
        const TestWindow w(0, 0, 10, 10);
        gone = w.hwnd();
    }
    const auto handle = reinterpret_cast<NativeWindowHandle>(gone);
    WindowRect r{1, 2, 3, 4};
    EXPECT_FALSE(windows.GetRect(handle, &r));
    EXPECT_FALSE(windows.GetRect(0, &r));
    EXPECT_EQ(r, (WindowRect{1, 2, 3, 4}));
    EXPECT_FALSE(windows.MoveNoActivate(handle, 5, 5));
    EXPECT_FALSE(windows.IsMinimised(0));
}

TEST_F(Win32NativeWindows, MoveKeepsSizeZOrderAndTheActiveWindow) {
    const TestWindow active(0, 0, 100, 100);
    const TestWindow moved(10, 10, 360, 640);
    ASSERT_NE(active.hwnd(), nullptr);
    ASSERT_NE(moved.hwnd(), nullptr);
    ::ShowWindow(moved.hwnd(), SW_SHOWNOACTIVATE);
    ::ShowWindow(active.hwnd(), SW_SHOW);
    ::SetActiveWindow(active.hwnd());
    const HWND activeBefore = ::GetActiveWindow();
    const HWND aboveBefore = ::GetWindow(moved.hwnd(), GW_HWNDPREV);

    ASSERT_TRUE(windows.MoveNoActivate(moved.handle(), 1224, 100));

    WindowRect r;
    ASSERT_TRUE(windows.GetRect(moved.handle(), &r));
    EXPECT_EQ(r, (WindowRect{1224, 100, 1584, 740}));
    EXPECT_EQ(::GetActiveWindow(), activeBefore);
    EXPECT_EQ(::GetWindow(moved.hwnd(), GW_HWNDPREV), aboveBefore);
}

TEST_F(Win32NativeWindows, MinimisedOnlyWhileIconic) {
    const TestWindow w(0, 0, 200, 100);
    ASSERT_NE(w.hwnd(), nullptr);
    ::ShowWindow(w.hwnd(), SW_SHOWNOACTIVATE);
    EXPECT_FALSE(windows.IsMinimised(w.handle()));
    ::ShowWindow(w.hwnd(), SW_SHOWMINNOACTIVE);
    EXPECT_TRUE(windows.IsMinimised(w.handle()));
    ::ShowWindow(w.hwnd(), SW_RESTORE);
    EXPECT_FALSE(windows.IsMinimised(w.handle()));
}

TEST_F(Win32NativeWindows, ScreenReportsAVerticalDpi) { EXPECT_GT(windows.ScreenDpiY(), 0); }

TEST_F(Win32NativeWindows, EachTimerRunsItsOwnProcedureUntilStopped) {
    gTicksA = gTicksB = 0;
    const uintptr_t a = windows.StartTimer(10, TickA);
    const uintptr_t b = windows.StartTimer(10, TickB);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    Pump(3000, [] { return gTicksA >= 2 && gTicksB >= 2; });
    EXPECT_GE(gTicksA, 2);
    EXPECT_GE(gTicksB, 2);

    windows.StopTimer(a);
    const int stoppedAt = gTicksA;
    const int bBefore = gTicksB;
    Pump(3000, [&] { return gTicksB >= bBefore + 3; });
    EXPECT_EQ(gTicksA, stoppedAt);
    EXPECT_GE(gTicksB, bBefore + 3);
    windows.StopTimer(b);
}

TEST_F(Win32NativeWindows, ATimerMayStopItselfFromItsProcedure) {
    gSelfStopTicks = 0;
    gSelfStopId = windows.StartTimer(10, TickAndStop);
    ASSERT_NE(gSelfStopId, 0u);
    Pump(3000, [] { return gSelfStopTicks >= 1; });
    Pump(100, [] { return false; });
    EXPECT_EQ(gSelfStopTicks, 1);
}

TEST_F(Win32NativeWindows, NoProcedureNoTimer) { EXPECT_EQ(windows.StartTimer(100, nullptr), 0u); }

namespace {
// Window classes named like the host's, whose client area prints as one colour.
constexpr COLORREF kAreaColour = RGB(0x12, 0x80, 0xE0);

LRESULT CALLBACK PaintedProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PRINTCLIENT || message == WM_PAINT) {
        PAINTSTRUCT ps{};
        const HDC dc = message == WM_PAINT ? ::BeginPaint(hwnd, &ps) : reinterpret_cast<HDC>(wParam);
        RECT r{};
        ::GetClientRect(hwnd, &r);
        const HBRUSH brush = ::CreateSolidBrush(kAreaColour);
        ::FillRect(dc, &r, brush);
        ::DeleteObject(brush);
        if (message == WM_PAINT) ::EndPaint(hwnd, &ps);
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterClassNamed(const wchar_t* name) {
    WNDCLASSW c{};
    c.lpfnWndProc = PaintedProc;
    c.hInstance = ::GetModuleHandleW(nullptr);
    c.lpszClassName = name;
    ::RegisterClassW(&c);
}

// A frame holding a 3D dialog whose direct children are a small bar and a drawing area.
struct HostLikeWindows {
    HostLikeWindows() {
        for (const wchar_t* name : {L"DGFrameWindow", L"DGModelessDlgClass", L"DGUserItemClass"})
            RegisterClassNamed(name);
        frame = ::CreateWindowExW(0, L"DGFrameWindow", L"Archicad", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600,
                                  nullptr, nullptr, nullptr, nullptr);
        dialog = ::CreateWindowExW(0, L"DGModelessDlgClass", L"Casa P\u00E9rgola - 3D / Todas", WS_CHILD | WS_VISIBLE,
                                   10, 10, 500, 400, frame, nullptr, nullptr, nullptr);
        bar = ::CreateWindowExW(0, L"DGUserItemClass", L"", WS_CHILD | WS_VISIBLE, 0, 0, 300, 20, dialog, nullptr,
                                nullptr, nullptr);
        area = ::CreateWindowExW(0, L"DGUserItemClass", L"", WS_CHILD | WS_VISIBLE, 0, 20, 200, 150, dialog, nullptr,
                                 nullptr, nullptr);
    }
    ~HostLikeWindows() {
        if (frame != nullptr) ::DestroyWindow(frame);
    }
    HostLikeWindows(const HostLikeWindows&) = delete;
    HostLikeWindows& operator=(const HostLikeWindows&) = delete;
    static NativeWindowHandle H(HWND w) { return reinterpret_cast<NativeWindowHandle>(w); }
    HWND frame = nullptr, dialog = nullptr, bar = nullptr, area = nullptr;
};
}  // namespace

TEST_F(Win32NativeWindows, TheProcesssWindowsAreEnumeratedWithTheirClassesAndTitles) {
    const HostLikeWindows w;
    ASSERT_NE(w.area, nullptr);
    const std::vector<NativeWindowHandle> top = windows.TopLevelWindows();
    EXPECT_NE(std::find(top.begin(), top.end(), w.H(w.frame)), top.end());
    EXPECT_EQ(std::find(top.begin(), top.end(), w.H(w.dialog)), top.end());
    EXPECT_EQ(windows.Descendants(w.H(w.frame)),
              (std::vector<NativeWindowHandle>{w.H(w.dialog), w.H(w.bar), w.H(w.area)}));
    EXPECT_EQ(windows.Children(w.H(w.dialog)), (std::vector<NativeWindowHandle>{w.H(w.bar), w.H(w.area)}));
    EXPECT_TRUE(windows.Children(w.H(w.area)).empty());
    EXPECT_TRUE(windows.IsOwnProcess(w.H(w.frame)));
    EXPECT_FALSE(windows.IsOwnProcess(0));
    EXPECT_EQ(windows.ClassName(w.H(w.frame)), "DGFrameWindow");
    EXPECT_EQ(windows.ClassName(w.H(w.area)), "DGUserItemClass");
    EXPECT_EQ(windows.Title(w.H(w.dialog)), "Casa P\xC3\xA9rgola - 3D / Todas");
    EXPECT_EQ(windows.Title(w.H(w.area)), "");
}

TEST_F(Win32NativeWindows, AWindowIsVisibleOnlyWithItsAncestors) {
    const HostLikeWindows w;
    EXPECT_TRUE(windows.IsVisible(w.H(w.area)));
    ::ShowWindow(w.dialog, SW_HIDE);
    EXPECT_FALSE(windows.IsVisible(w.H(w.dialog)));
    EXPECT_FALSE(windows.IsVisible(w.H(w.area)));
    EXPECT_FALSE(windows.IsVisible(0));
}

TEST_F(Win32NativeWindows, PrintingGivesTheWindowsContentAtItsSize) {
    const HostLikeWindows w;
    int width = 0, height = 0;
    std::vector<uint32_t> argb;
    ASSERT_TRUE(windows.PrintWindow(w.H(w.area), &width, &height, &argb));
    EXPECT_EQ(width, 200);
    EXPECT_EQ(height, 150);
    ASSERT_EQ(argb.size(), 200u * 150u);
    EXPECT_EQ(argb[0], 0xFF1280E0u);
    EXPECT_EQ(argb[150 * 100 + 99], 0xFF1280E0u);
    EXPECT_FALSE(windows.PrintWindow(0, &width, &height, &argb));
}
