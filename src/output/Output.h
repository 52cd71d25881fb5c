// Project output requests: saving files and picking a file.
#pragma once
#include <rapidjson/fwd.h>

#include <string>

class Palette;

void SaveFiles(Palette& palette, const std::string& id, const rapidjson::Value& payload);
void HandlePickFile(Palette& palette, const std::string& id, const rapidjson::Value& payload);
