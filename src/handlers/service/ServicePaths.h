// Service paths as the page gives them: normalised to one spelling and checked before a request
// may carry them. Pure functions; any thread.
#pragma once
#include <string>
#include <string_view>

// "https://" + the service host.
std::string ServiceOrigin();

// Removes a leading service origin (keeping the path's "/"), then accepts only a path of 1 to
// 2048 bytes that begins with "/api/" or "/files/", uses only the allowed characters, holds no
// "..", "\" or "#", and names its endpoint in exactly one spelling: before the query, no "//",
// "/./", trailing "/" or "/.", and no percent-escape of an unreserved character or of "/", "\"
// or ".". An "/api/" path that differs from a special endpoint (sign-in, configuration, a paid
// call) only in letter case or by a "."-suffix on its last segment is refused too, as the
// service might route it as that endpoint. False when the path may not be sent.
bool NormalizeServicePath(std::string& path);

// The path up to, not including, its first "?".
std::string_view BasePath(std::string_view path);

// The endpoints that take no token (the configuration and the device sign-in's start and poll):
// no request to them carries it.
bool IsTokenFreeEndpoint(std::string_view base);
// The sign-out endpoint ("DELETE" there signs the add-on out first).
bool IsSignOutEndpoint(std::string_view base);
// A paid call's endpoint: a path ending "/generations" or "/animation-video" (with "POST").
bool IsPaidEndpoint(std::string_view base);
