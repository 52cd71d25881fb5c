// The model operations that write into the project or to disk: placing, saving and picking.
// Host thread only.
#pragma once
#include <rapidjson/fwd.h>

#include <string>

class Palette;

namespace OvraViews {
// "place": the payload's image on a new worksheet.
void Place(Palette& palette, const std::string& id, const rapidjson::Value& payload);
}  // namespace OvraViews

void SaveFiles(Palette& palette, const std::string& id, const rapidjson::Value& payload);
void HandlePickFile(Palette& palette, const std::string& id, const rapidjson::Value& payload);
