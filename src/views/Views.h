// View listing and placing: the model operations that read views and write into the project.
#pragma once
#include <rapidjson/fwd.h>

#include <string>

class Palette;

namespace OvraViews {
void ListViews(Palette& palette, const std::string& id);
void Place(Palette& palette, const std::string& id, const rapidjson::Value& payload);
}  // namespace OvraViews
