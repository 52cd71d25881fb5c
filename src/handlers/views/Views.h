// The model operations that read views: listing them and capturing one. Host thread only.
#pragma once
#include <rapidjson/fwd.h>

#include <string>

class Palette;

namespace OvraViews {
// "listViews": the current view and the navigator's saved views, with thumbnails; always
// answered with a success.
void ListViews(Palette& palette, const std::string& id);
// "capture", when the pump takes it from the queue: marks the capture in flight and asks the
// host for an event-loop call that runs Capture.
void StartCapture(Palette& palette, const std::string& id, const rapidjson::Value& payload);
// Opens the view and sets the capture's deadline, from the host's event loop; or answers at once
// when the view is refused or cannot be opened.
void Capture(Palette& palette, const std::string& requestId, const std::string& viewId);
// Takes the picture once the deadline has passed, restores the view state, and answers.
void CaptureNow(Palette& palette);
}  // namespace OvraViews
