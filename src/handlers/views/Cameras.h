// Saved views' cameras: the process-wide map from a listed view id to the camera element it
// shows, the description of the camera read last, reading a camera with absolute heights, and
// bringing a view into the 3D window. Host thread only.
#pragma once
#include <map>
#include <string>

#include "host/HostApi.h"

namespace OvraViews {
// View id ("nav-" and the navigator item's GUID) → camera element, filled by each listing and
// consulted by capture; it outlives palettes and project changes.
std::map<std::string, HostGuid>& ViewCameras();

// The camera that ReadViewCamera read last, or the listing's building-box line; written only
// into the log.
std::string& LastCameraText();

// The camera element's perspective camera with both heights made absolute by its story's level
// (0 when the story is unknown); false for a null GUID, an element that cannot be read or one
// that is not a camera. Rewrites LastCameraText.
bool ReadViewCamera(const HostGuid& camera, PerspectiveCamera* out);

// Brings the view into the 3D window, bringing the 3D window to the front first: "current" as it
// is; a registered saved view by copying its camera into the projection; in self-test mode,
// "selftest-orbit" by turning the current camera's target a quarter turn counter-clockwise.
// kNotFound for an unknown view or an unreadable camera, else the host's status.
HostError OpenView(const std::string& viewId);
}  // namespace OvraViews
