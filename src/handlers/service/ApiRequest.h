// The "api" request: one service exchange on a worker thread.
#pragma once
#include <rapidjson/fwd.h>

#include <string>

class Palette;

void HandleApi(Palette& palette, const std::string& id, const rapidjson::Value& payload);
