// Turning a service answer that is not a success into an error code, reason and retry-after.
#include "handlers/service/ServiceCall.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <cmath>

namespace {
// A member that is a number above 0 sets the retry-after, capped, its fraction dropped.
void ReadRetryAfter(const rapidjson::Value& object, int32_t* retryAfter) {
    for (const char* name : {"retryAfter", "retry_after"}) {
        const auto it = object.FindMember(name);
        if (it == object.MemberEnd() || !it->value.IsNumber()) continue;
        const double seconds = it->value.GetDouble();
        if (seconds > 0) *retryAfter = static_cast<int32_t>(std::floor(std::min(seconds, double{kMaxRetryAfter})));
    }
}

std::string StringOr(const rapidjson::Value& object, const char* name, const std::string& fallback) {
    const auto it = object.FindMember(name);
    return it != object.MemberEnd() && it->value.IsString()
               ? std::string(it->value.GetString(), it->value.GetStringLength())
               : fallback;
}
}  // namespace

OvraApi::Error ErrorFromResponse(const HttpResponse& response, bool hadToken) {
    if (response.status == 401 && hadToken) return OvraApi::Error("revoked", "", 401, response.retryAfter);
    std::string code = "internal";
    std::string reason;
    int32_t retryAfter = response.retryAfter;
    if (!response.body.empty()) {
        rapidjson::Document doc;
        doc.Parse(response.body.data(), response.body.size());
        if (!doc.HasParseError() && doc.IsObject()) {
            const rapidjson::Value& root = doc;
            const auto error = root.FindMember("error");
            if (error != root.MemberEnd()) {
                // An empty code names nothing, so it leaves "internal".
                if (error->value.IsString() && error->value.GetStringLength() > 0) {
                    code.assign(error->value.GetString(), error->value.GetStringLength());
                } else if (error->value.IsObject()) {
                    const std::string named = StringOr(error->value, "code", "");
                    if (!named.empty()) code = named;
                    reason = StringOr(error->value, "reason", reason);
                    ReadRetryAfter(error->value, &retryAfter);
                }
            }
            ReadRetryAfter(root, &retryAfter);
        }
    }
    if (code == "internal") {
        if (response.status == 429)
            code = "limit_reached";
        else if (response.status == 502 || response.status == 503 || response.status == 504)
            code = "unavailable";
    }
    if (response.status == 426 || reason == "plugin_outdated")
        code = "plugin_outdated";
    else if (reason == "plugin_disabled")
        code = "plugin_disabled";
    return OvraApi::Error(code, reason, response.status, retryAfter);
}

HttpResponse CallService(const std::u16string& verb, const std::string& path, const std::string& token,
                         const std::u16string& acceptLanguage, const std::string& body,
                         const std::u16string& extraHeaders, uint32_t timeoutMs) {
    // The paths are ASCII: each byte becomes one UTF-16 unit.
    std::u16string widePath;
    for (const char c : path) widePath += static_cast<char16_t>(static_cast<unsigned char>(c));
    HttpResponse response = SendRequest(verb, widePath, token, acceptLanguage, body, extraHeaders, timeoutMs);
    if (response.status >= 200 && response.status <= 299) return response;
    throw ErrorFromResponse(response, !token.empty());
}
