// The simulated palette window.
#include "sim/host/SimPaletteWindow.h"

SimPaletteWindow::SimPaletteWindow(SimWindows& windows, const ResourceDialog& dialog,
                                   const std::function<void()>& onDestroyed)
    : title(dialog.title),
      clientWidth(dialog.width),
      clientHeight(dialog.height),
      windows_(windows),
      handle_(windows.Create({0, 0, dialog.width, dialog.height})),
      onDestroyed_(onDestroyed) {
    for (const auto& item : dialog.items)
        if (item.id == 1) browserWidth = item.width, browserHeight = item.height;
    windows_.Find(handle_)->onMoveBegin = [this] {
        if (observer_) observer_->PanelMoveBegin();
    };
}

SimPaletteWindow::~SimPaletteWindow() {
    windows_.Destroy(handle_);
    if (onDestroyed_) onDestroyed_();
}

void SimPaletteWindow::Detach(PaletteObserver* observer) {
    if (observer_ == observer) observer_ = nullptr;
}

void SimPaletteWindow::SetMinClientSize(int width, int height) {
    minWidth = width;
    minHeight = height;
}

void SimPaletteWindow::SetClientSize(int width, int height, int, bool) {
    ++clientSizeCalls;
    clientWidth = width;
    clientHeight = height;
    if (auto* w = windows_.Find(handle_)) w->rect = {w->rect.left, w->rect.top, w->rect.left + width, w->rect.top + height};
}

void SimPaletteWindow::Show(int position) {
    lastShowPosition = position;
    ++showCount;
    visible = true;
}

void SimPaletteWindow::ResizeItem(int item, int dx, int dy) {
    if (resizeDepth <= 0) unpairedResize = true;
    if (item == 1) browserWidth += dx, browserHeight += dy;
}

void SimPaletteWindow::DeliverIdle() {
    if (ReceivesIdle()) observer_->PanelIdle();
}

bool SimPaletteWindow::DeliverCloseRequest() { return observer_ != nullptr && observer_->PanelCloseRequested(); }

void SimPaletteWindow::UserResize(int dx, int dy) {
    SetClientSize(clientWidth + dx, clientHeight + dy, 1, false);
    if (observer_) observer_->PanelResized(dx, dy);
}
