// One complete HTTPS exchange with the service host. Blocking; worker threads only. Throws
// std::invalid_argument ("invalid HTTP request") for a request that may not be sent, and
// std::runtime_error for every transport failure; a non-success status is returned as it is.
#pragma once
#include <cstdint>
#include <string>

#include "platform/Http.h"

struct HttpResponse {
    int32_t status = 0;
    // Seconds from a numeric Retry-After header, at most 3600; 0 when absent or not a number.
    int32_t retryAfter = 0;
    std::string body;
};

inline constexpr char kPluginIdentification[] = "tamsel-ovra/1.1.0 (contract=1; archicad=30; os=win)";
inline constexpr uint64_t kMaxRequestBody = 4294967295u;

// verb: "GET", "POST", "PUT" or "DELETE"; path: begins with "/" and holds any query; token:
// empty for none; extraHeaders: complete lines, each ending in CR LF; timeoutMs: every phase.
HttpResponse SendRequest(const std::u16string& verb, const std::u16string& path, const std::string& token,
                         const std::u16string& acceptLanguage, const std::string& body,
                         const std::u16string& extraHeaders, uint32_t timeoutMs);

// The header block in the order it is sent: identification, language, the bearer token when
// there is one, then the caller's lines. Throws std::runtime_error("invalid UTF-8") for a token
// that is not valid UTF-8.
std::string RequestHeaderBlock(const std::string& token, const std::u16string& acceptLanguage,
                               const std::u16string& extraHeaders);
