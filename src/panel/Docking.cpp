// Sizing the palette from the host window and docking it against the host window's right edge.
#include <algorithm>

#include "host/HostApi.h"
#include "panel/Palette.h"

void Palette::SizeToHost() {
    NativeWindowHandle main = 0;
    WindowRect rect;
    if (Host().GetMainWindow(&main) != kHostOk || main == 0 || !Windows().GetRect(main, &rect)) return;
    const int dpi = Windows().ScreenDpiY();
    const double scale = dpi > 0 ? dpi / 96.0 : 1.0;
    int height = static_cast<int>(rect.Height() / scale) - 150;
    height = std::max(std::min(height, 820), 420);
    window_->SetClientSize(360, height, 1, false);
}

void Palette::DockToHost() {
    if (userMoved_) return;
    NativeWindowHandle main = 0;
    WindowRect palette, host;
    const NativeWindowHandle own = window_->Handle();
    if (Host().GetMainWindow(&main) != kHostOk || main == 0 || own == 0) return;
    if (!Windows().GetRect(own, &palette) || !Windows().GetRect(main, &host) || Windows().IsMinimised(main)) return;
    const int x = std::max(host.left, host.right - 16 - palette.Width());
    const int y = std::max(host.top, std::min(host.top + 100, host.bottom - palette.Height()));
    positioning_ = true;
    Windows().MoveNoActivate(own, x, y);
    positioning_ = false;
    hostRect_ = host;
    hostRectKnown_ = true;
}
