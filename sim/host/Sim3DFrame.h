// The simulated 3D window's drawn frame. The host does not draw the 3D window when it is asked
// for its picture: a change of what it shows (the projection, the layer combination, the window
// brought to the front, a redraw) starts a new frame, which is drawn a set time later while the
// host loop turns, from the view state in force then. Until then the window shows the frame drawn
// before, or nothing when none has been drawn since the window opened.
#pragma once
#include <chrono>
#include <cstdint>

#include "host/HostApi.h"

class Sim3DFrame {
public:
    // Simulated time from a change to its frame being drawn.
    std::chrono::milliseconds drawDelay{1000};

    // A change at simulated time `now`: a frame is due `drawDelay` later; a change before it is
    // drawn puts it off again.
    void Start(std::chrono::milliseconds now);
    // The window opened anew: nothing drawn, nothing waiting.
    void Clear();
    // Draws the waiting frame from the view state when its time has come at `now`; true when it
    // drew.
    bool DrawIfDue(std::chrono::milliseconds now, const Projection3D& projection, int32_t layerCombination);

    bool Waiting() const { return waiting_; }
    bool Drawn() const { return drawn_; }
    // Frames drawn since the window opened.
    int Count() const { return count_; }
    // The view state the drawn frame shows.
    const Projection3D& Projection() const { return projection_; }
    int32_t LayerCombination() const { return layerCombination_; }

private:
    bool waiting_ = false, drawn_ = false;
    int count_ = 0;
    std::chrono::milliseconds dueAt_{0};
    Projection3D projection_;
    int32_t layerCombination_ = 0;
};
