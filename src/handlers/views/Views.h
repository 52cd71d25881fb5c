// The model operations that read views: listing them and capturing one. Host thread only.
#pragma once
#include <rapidjson/fwd.h>

#include <string>

class Palette;

namespace OvraViews {
// "listViews": the current view and the navigator's saved views.
void ListViews(Palette& palette, const std::string& id);
// "capture": queues the capture of the payload's view as an event-loop call.
void StartCapture(Palette& palette, const std::string& id, const rapidjson::Value& payload);
// Opens the view and sets the capture's deadline, from the host's event loop.
void Capture(Palette& palette, const std::string& requestId, const std::string& viewId);
// Takes the picture once the deadline has passed, and answers the capture.
void CaptureNow(Palette& palette);
}  // namespace OvraViews
