// What the simulated service holds every request to, as the real service relies on it: the
// add-on's identification, the user's language, a body's content type, no token where none
// belongs, and an idempotency key on every paid call. Pure functions; any thread.
#pragma once
#include <string>
#include <vector>

#include "sim/service/ServiceScript.h"

struct RequestRules {
    // The X-Ovra-Plugin value of the add-on the service serves.
    std::string plugin = "tamsel-ovra/1.1.0 (contract=1; archicad=30; os=win)";
    // The Accept-Language value every request carries: the add-on's UI language.
    std::string language = "en";
    // Whether a paid call (POST to a path ending in /generations or /animation-video) must carry
    // an Idempotency-Key.
    bool idempotencyKeys = true;
};

// Every rule `request` breaks, each as one line "METHOD PATH: what was wrong" (the path without
// its query); empty when it breaks none. A token's value never appears in a line.
std::vector<std::string> RuleBreaches(const RecordedRequest& request, const RequestRules& rules);
