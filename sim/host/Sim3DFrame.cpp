// The simulated 3D window's drawn frame.
#include "sim/host/Sim3DFrame.h"

void Sim3DFrame::Start(std::chrono::milliseconds now) {
    waiting_ = true;
    dueAt_ = now + drawDelay;
}

void Sim3DFrame::Clear() {
    waiting_ = drawn_ = false;
    count_ = 0;
}

bool Sim3DFrame::DrawIfDue(std::chrono::milliseconds now, const Projection3D& projection, int32_t layerCombination) {
    if (!waiting_ || now < dueAt_) return false;
    waiting_ = false;
    drawn_ = true;
    ++count_;
    projection_ = projection;
    layerCombination_ = layerCombination;
    return true;
}
