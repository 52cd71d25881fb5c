// The parts of the host's display that opening a view for capture can change: the front window,
// the 3D projection and the layer combination, read before the view is opened and put back
// after the picture. Host thread only.
#pragma once
#include <cstdint>

#include "host/HostApi.h"

struct ViewStateSnapshot {
    WindowInfo window;
    bool windowValid = false;
    Projection3D projection;
    bool projectionValid = false;
    int32_t layerCombination = 0;
    bool layerCombinationValid = false;

    // Reads the three, each with its own valid flag.
    void Take();
    // Puts back what was read, ignoring the host's results: the projection into the 3D window
    // (brought to the front for it when another window is there) with a redraw, the layer
    // combination when it was positive and differs, then the front window when it differs.
    void Restore() const;
};
