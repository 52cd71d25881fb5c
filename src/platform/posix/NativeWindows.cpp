// POSIX: there are no host windows outside the simulated host, so every query fails.
#include "platform/NativeWindows.h"

namespace {
class NoWindows final : public NativeWindows {
public:
    bool GetRect(NativeWindowHandle, WindowRect*) override { return false; }
    bool IsMinimised(NativeWindowHandle) override { return false; }
    bool MoveNoActivate(NativeWindowHandle, int, int) override { return false; }
    int ScreenDpiY() override { return 0; }
    uintptr_t StartTimer(unsigned, TimerProc) override { return 0; }
    void StopTimer(uintptr_t) override {}
    std::vector<NativeWindowHandle> TopLevelWindows() const override { return {}; }
    std::vector<NativeWindowHandle> Descendants(NativeWindowHandle) const override { return {}; }
    std::vector<NativeWindowHandle> Children(NativeWindowHandle) const override { return {}; }
    bool IsOwnProcess(NativeWindowHandle) const override { return false; }
    bool IsVisible(NativeWindowHandle) const override { return false; }
    std::string ClassName(NativeWindowHandle) const override { return {}; }
    std::string Title(NativeWindowHandle) const override { return {}; }
    bool PrintWindow(NativeWindowHandle, int*, int*, std::vector<uint32_t>*) override { return false; }
};
}  // namespace

NativeWindows& SystemWindows() {
    static NoWindows windows;
    return windows;
}
