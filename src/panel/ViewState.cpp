// Taking and restoring the host's view state around a capture.
#include "panel/ViewState.h"

void ViewStateSnapshot::Take() {
    windowValid = Host().GetFrontWindow(&window) == kHostOk;
    projectionValid = Host().GetProjection3D(&projection) == kHostOk;
    layerCombinationValid = Host().GetLayerCombination(&layerCombination) == kHostOk;
}

void ViewStateSnapshot::Restore() const {
    HostApi& host = Host();
    if (projectionValid) {
        // The projection belongs to the 3D window, whichever window the user has brought to the
        // front meanwhile; the front window is put back below.
        WindowInfo front;
        if (host.GetFrontWindow(&front) != kHostOk || front.kind != kWindow3D) {
            WindowInfo window3D;
            window3D.kind = kWindow3D;
            host.ChangeFrontWindow(window3D);
        }
        host.SetProjection3D(projection, 0);
        host.Redraw3D();
    }
    if (layerCombinationValid && layerCombination > 0) {
        int32_t current = 0;
        if (host.GetLayerCombination(&current) != kHostOk || current != layerCombination)
            host.SetLayerCombination(layerCombination);
    }
    if (windowValid) {
        WindowInfo current;
        if (host.GetFrontWindow(&current) != kHostOk || current.kind != window.kind ||
            current.databaseGuid != window.databaseGuid)
            host.ChangeFrontWindow(window);
    }
}
