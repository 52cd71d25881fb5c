// The "getState" and "setState" requests: what the page learns of the host, the project and
// the session, and the page's own state kept per project. Host thread only.
#pragma once
#include <rapidjson/fwd.h>

#include <string>

class Palette;

void GetState(Palette& palette, const std::string& id);
void SetState(Palette& palette, const std::string& id, const rapidjson::Value& payload);
