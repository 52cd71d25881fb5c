// The "openUrl" request: the service's web pages in the user's browser.
#pragma once
#include <rapidjson/fwd.h>

#include <string>

class Palette;

void HandleOpenUrl(Palette& palette, const std::string& id, const rapidjson::Value& payload);
