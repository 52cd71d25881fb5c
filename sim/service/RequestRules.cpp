// The rules the simulated service holds each request to.
#include "sim/service/RequestRules.h"

#include <cctype>
#include <string_view>

namespace {
bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The media type of a Content-Type value, lower-cased and without its parameters.
std::string MediaType(std::string value) {
    value = value.substr(0, value.find(';'));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return value;
}

// The endpoints of the sign-in and the configuration, which a device calls before it has a token.
bool TokenFree(std::string_view path) {
    return path == "/api/v1/plugin/config" || path == "/api/v1/device/start" || path == "/api/v1/device/token";
}

bool Paid(std::string_view method, std::string_view path) {
    return method == "POST" && (EndsWith(path, "/generations") || EndsWith(path, "/animation-video"));
}

// A binary upload: a body sent to the uploads route, or one that names a file or a type other
// than JSON. Any other body is JSON.
bool BinaryUpload(const RecordedRequest& request, std::string_view path) {
    if (request.Method() == "GET" || request.body.empty()) return false;
    if (path == "/api/v1/uploads" || request.Header("x-filename")) return true;
    const std::optional<std::string> type = request.Header("Content-Type");
    return type && !type->empty() && MediaType(*type) != "application/json";
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
}  // namespace

std::vector<std::string> RuleBreaches(const RecordedRequest& request, const RequestRules& rules) {
    const std::string method = request.Method();
    const std::string target = request.Target();
    const std::string path = target.substr(0, target.find('?'));
    std::vector<std::string> breaches;
    const auto breach = [&](const std::string& what) { breaches.push_back(method + " " + path + ": " + what); };

    const std::optional<std::string> plugin = request.Header("X-Ovra-Plugin");
    if (!plugin) breach("no X-Ovra-Plugin header");
    else if (*plugin != rules.plugin) breach("X-Ovra-Plugin is " + Quoted(*plugin) + ", not the add-on's " + Quoted(rules.plugin));

    const std::optional<std::string> language = request.Header("Accept-Language");
    if (!language) breach("no Accept-Language header, expected " + Quoted(rules.language));
    else if (*language != rules.language) breach("Accept-Language is " + Quoted(*language) + ", expected " + Quoted(rules.language));

    const std::optional<std::string> type = request.Header("Content-Type");
    if (BinaryUpload(request, path)) {
        if (!type || type->empty()) breach("a binary upload without Content-Type");
        const std::optional<std::string> filename = request.Header("x-filename");
        if (!filename || filename->empty()) breach("a binary upload without x-filename");
    } else if (!request.body.empty() && (!type || MediaType(*type) != "application/json")) {
        breach("a JSON body without Content-Type: application/json");
    }

    if (TokenFree(path) && request.Header("Authorization")) breach("a token sent to a token-free endpoint");

    if (rules.idempotencyKeys && Paid(method, path)) {
        const std::optional<std::string> key = request.Header("Idempotency-Key");
        if (!key || key->empty()) breach("a paid call without Idempotency-Key");
    }
    return breaches;
}
