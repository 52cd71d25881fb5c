// Simulated native windows and timers.
#include "sim/host/SimWindows.h"

#include <algorithm>

NativeWindowHandle SimWindows::Create(const WindowRect& rect) {
    const NativeWindowHandle handle = nextHandle_;
    nextHandle_ += 0x10;
    windows_[handle].rect = rect;
    return handle;
}

NativeWindowHandle SimWindows::CreateNamed(NativeWindowHandle parent, const WindowRect& rect,
                                           const std::string& className, const std::string& title) {
    Window* owner = parent != 0 ? Find(parent) : nullptr;
    if (parent != 0 && owner == nullptr) return 0;
    const NativeWindowHandle handle = Create(rect);
    Window& w = windows_[handle];
    w.parent = parent;
    w.className = className;
    w.title = title;
    if (owner != nullptr) {
        w.processId = owner->processId;
        owner->children.push_back(handle);
    }
    return handle;
}

void SimWindows::Destroy(NativeWindowHandle handle) {
    Window* w = Find(handle);
    if (w == nullptr) return;
    const std::vector<NativeWindowHandle> children = w->children;
    for (const NativeWindowHandle child : children) Destroy(child);
    if (Window* parent = Find(windows_[handle].parent)) std::erase(parent->children, handle);
    windows_.erase(handle);
}

SimWindows::Window* SimWindows::Find(NativeWindowHandle handle) {
    const auto it = windows_.find(handle);
    return it == windows_.end() ? nullptr : &it->second;
}

const SimWindows::Window* SimWindows::Find(NativeWindowHandle handle) const {
    const auto it = windows_.find(handle);
    return it == windows_.end() ? nullptr : &it->second;
}

std::vector<NativeWindowHandle> SimWindows::TopLevelWindows() const {
    std::vector<NativeWindowHandle> top;
    for (const auto& [handle, w] : windows_)
        if (w.parent == 0) top.push_back(handle);
    return top;
}

std::vector<NativeWindowHandle> SimWindows::Descendants(NativeWindowHandle window) const {
    std::vector<NativeWindowHandle> all;
    if (const Window* w = Find(window))
        for (const NativeWindowHandle child : w->children) {
            all.push_back(child);
            const std::vector<NativeWindowHandle> below = Descendants(child);
            all.insert(all.end(), below.begin(), below.end());
        }
    return all;
}

std::vector<NativeWindowHandle> SimWindows::Children(NativeWindowHandle window) const {
    const Window* w = Find(window);
    return w ? w->children : std::vector<NativeWindowHandle>{};
}

bool SimWindows::IsOwnProcess(NativeWindowHandle window) const {
    const Window* w = Find(window);
    return w != nullptr && w->processId == kOwnProcess;
}

bool SimWindows::IsVisible(NativeWindowHandle window) const {
    for (const Window* w = Find(window); w != nullptr; w = w->parent != 0 ? Find(w->parent) : nullptr)
        if (!w->visible) return false;
    return Find(window) != nullptr;
}

std::string SimWindows::ClassName(NativeWindowHandle window) const {
    const Window* w = Find(window);
    return w ? w->className : std::string();
}

std::string SimWindows::Title(NativeWindowHandle window) const {
    const Window* w = Find(window);
    return w ? w->title : std::string();
}

bool SimWindows::PrintWindow(NativeWindowHandle window, int* width, int* height, std::vector<uint32_t>* argb) {
    const Window* w = Find(window);
    if (w == nullptr || w->rect.Width() <= 0 || w->rect.Height() <= 0) return false;
    SimPicture picture;
    if (!w->paint || !w->paint(w->rect.Width(), w->rect.Height(), &picture)) {
        // A window that draws nothing prints as the system's blank window colour.
        picture.Allocate(w->rect.Width(), w->rect.Height());
        std::fill(picture.rgb.begin(), picture.rgb.end(), uint8_t{0xF0});
    }
    if (picture.width != w->rect.Width() || picture.height != w->rect.Height()) return false;
    argb->resize(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height));
    for (size_t i = 0; i < argb->size(); ++i) {
        const uint8_t* p = &picture.rgb[i * 3];
        (*argb)[i] = 0xFF000000u | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    *width = picture.width;
    *height = picture.height;
    return true;
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
