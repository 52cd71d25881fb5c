// Saved views' cameras and opening a view in the 3D window.
#include "handlers/views/Cameras.h"

#include <cstdio>
#include <vector>

#include "panel/TestMode.h"
#include "handlers/views/Picture.h"

namespace OvraViews {
namespace {
constexpr const char* kOrbitViewId = "selftest-orbit";
}  // namespace

std::map<std::string, HostGuid>& ViewCameras() {
    static std::map<std::string, HostGuid> cameras;
    return cameras;
}

std::string& LastCameraText() {
    static std::string text;
    return text;
}

bool ReadViewCamera(const HostGuid& camera, PerspectiveCamera* out) {
    if (camera.IsNull()) return false;
    // Only a camera element has a perspective camera record; its type is checked here, so that no
    // host binding can hand over a record read from another kind of element.
    ElementHeader header;
    if (Host().GetElementHeader(camera, &header) != kHostOk || header.typeCode != kElementCamera) return false;
    PerspectiveCamera read;
    int32_t storyIndex = 0;
    if (Host().GetCameraElement(camera, &read, &storyIndex) != kHostOk) return false;
    double level = 0;
    std::vector<StoryInfo> stories;
    if (Host().GetStories(&stories) == kHostOk)
        for (const StoryInfo& story : stories)
            if (story.index == storyIndex) {
                level = story.level;
                break;
            }
    read.cameraZ += level;
    read.targetZ += level;
    char text[200];
    std::snprintf(text, sizeof text, "camera story %d level %.2f pos %.2f %.2f z %.2f target %.2f %.2f z %.2f",
                  storyIndex, level, read.cameraX, read.cameraY, read.cameraZ, read.targetX, read.targetY,
                  read.targetZ);
    LastCameraText() = text;
    *out = read;
    return true;
}

HostError OpenView(const std::string& viewId) {
    HostApi& host = Host();
    if (!Is3DWindowCurrent()) {
        WindowInfo window3D;
        window3D.kind = kWindow3D;
        if (const HostError e = host.ChangeFrontWindow(window3D)) return e;
    }
    if (viewId == "current") return kHostOk;
    Projection3D projection;
    if (viewId == kOrbitViewId && TestRunMode()) {
        if (const HostError e = host.GetProjection3D(&projection)) return e;
        if (!projection.perspective) return kNotFound;
        PerspectiveCamera& c = projection.camera;
        const double targetX = c.cameraX - (c.targetY - c.cameraY);
        const double targetY = c.cameraY + (c.targetX - c.cameraX);
        c.targetX = targetX;
        c.targetY = targetY;
        return host.SetProjection3D(projection, 0);
    }
    const auto registered = ViewCameras().find(viewId);
    PerspectiveCamera camera;
    if (registered == ViewCameras().end() || !ReadViewCamera(registered->second, &camera)) return kNotFound;
    if (const HostError e = host.GetProjection3D(&projection)) return e;
    projection.perspective = true;
    projection.camera = camera;
    return host.SetProjection3D(projection, 0);
}
}  // namespace OvraViews
