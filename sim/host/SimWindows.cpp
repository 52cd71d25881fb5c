// Simulated native windows and timers.
#include "sim/host/SimWindows.h"

NativeWindowHandle SimWindows::Create(const WindowRect& rect) {
    const NativeWindowHandle handle = nextHandle_;
    nextHandle_ += 0x10;
    windows_[handle].rect = rect;
    return handle;
}

void SimWindows::Destroy(NativeWindowHandle handle) { windows_.erase(handle); }

SimWindows::Window* SimWindows::Find(NativeWindowHandle handle) {
    const auto it = windows_.find(handle);
    return it == windows_.end() ? nullptr : &it->second;
}

void SimWindows::UserMove(NativeWindowHandle handle, int x, int y) {
    if (Window* w = Find(handle)) {
        if (w->onMoveBegin) w->onMoveBegin();
        const WindowRect r = w->rect;
        w->rect = {x, y, x + r.Width(), y + r.Height()};
    }
}

bool SimWindows::GetRect(NativeWindowHandle window, WindowRect* rect) {
    const Window* w = Find(window);
    if (w == nullptr) return false;
    *rect = w->rect;
    return true;
}

bool SimWindows::IsMinimised(NativeWindowHandle window) {
    const Window* w = Find(window);
    return w != nullptr && w->minimised;
}

bool SimWindows::MoveNoActivate(NativeWindowHandle window, int x, int y) {
    if (Find(window) == nullptr) return false;
    // A programmatic move reports its beginning too, as a real window does.
    UserMove(window, x, y);
    return true;
}

uintptr_t SimWindows::StartTimer(unsigned periodMs, TimerProc proc) {
    if (failTimerStart || periodMs == 0 || proc == nullptr) return 0;
    const uintptr_t id = nextTimer_++;
    timers_[id] = Timer{periodMs, proc, clock_.Elapsed().count() + periodMs};
    return id;
}

void SimWindows::StopTimer(uintptr_t id) { timers_.erase(id); }

void SimWindows::FireTimers() {
    const int64_t upToMs = clock_.Elapsed().count();
    for (;;) {
        uintptr_t due = 0;
        int64_t dueAt = upToMs + 1;
        for (const auto& [id, t] : timers_)
            if (t.nextMs < dueAt) due = id, dueAt = t.nextMs;
        if (due == 0) break;
        Timer& t = timers_[due];
        t.nextMs += t.periodMs;
        t.proc();  // may stop timers
    }
}
