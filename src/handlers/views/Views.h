// The model operations that read views: listing them and capturing one. Host thread only.
#pragma once
#include <rapidjson/fwd.h>

#include <string>

class Palette;

namespace OvraViews {
// "listViews": the current view and the navigator's saved views, with thumbnails; always
// answered with a success.
void ListViews(Palette& palette, const std::string& id);
// "capture", when the pump takes it from the queue: the palette's capture session takes it and
// asks the host for the event-loop call that opens the view.
void StartCapture(Palette& palette, const std::string& id, const rapidjson::Value& payload);
// Takes the picture of a capture whose view is open, without waiting for its deadline, restores
// the view state, and answers; does nothing otherwise. For benchmarks that time the picture.
void CaptureNow(Palette& palette);
}  // namespace OvraViews
