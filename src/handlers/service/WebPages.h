// The "openUrl" request: a page of the service's own web site in the user's browser.
#pragma once
#include <rapidjson/fwd.h>

#include <string>
#include <string_view>

class Palette;

// Opens the payload's "url", else the address of its "target", when IsServiceUrl accepts it;
// ok {} or "invalid_request".
void HandleOpenUrl(Palette& palette, const std::string& id, const rapidjson::Value& payload);

// True for an "https://" address of at most 2048 printable ASCII bytes, without space, quotes,
// angle brackets, backslash or backquote, whose host (up to the first of "/?:@", and refused
// when that is ":" or "@") is the service domain or a lower-case subdomain of it.
bool IsServiceUrl(std::string_view address);

// The address of a named page of the service's site; empty for an unknown name.
std::string ServicePageAddress(std::string_view target);
