// The installed providers of the swappable platform services, falling back to the system's own.
#include <atomic>

#include "platform/Desktop.h"
#include "platform/NativeWindows.h"

NativeWindows& SystemWindows();
Launcher& SystemLauncher();
Dialogs& SystemDialogs();

namespace {
std::atomic<NativeWindows*> gWindows{nullptr};
std::atomic<Launcher*> gLauncher{nullptr};
std::atomic<Dialogs*> gDialogs{nullptr};

template <typename T>
T& InstalledOr(std::atomic<T*>& slot, T& (*fallback)()) {
    T* p = slot.load(std::memory_order_acquire);
    return p ? *p : fallback();
}
}  // namespace

NativeWindows& Windows() { return InstalledOr(gWindows, SystemWindows); }
Launcher& DesktopLauncher() { return InstalledOr(gLauncher, SystemLauncher); }
Dialogs& DesktopDialogs() { return InstalledOr(gDialogs, SystemDialogs); }
void InstallNativeWindows(NativeWindows* provider) { gWindows.store(provider, std::memory_order_release); }
void InstallLauncher(Launcher* launcher) { gLauncher.store(launcher, std::memory_order_release); }
void InstallDialogs(Dialogs* dialogs) { gDialogs.store(dialogs, std::memory_order_release); }
