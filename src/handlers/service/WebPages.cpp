// Opening the service's web pages with the shell's "open" verb.
#include "handlers/service/WebPages.h"

#include "handlers/service/ServicePaths.h"
#include "panel/Replies.h"
#include "platform/Desktop.h"
#include "platform/Http.h"

namespace {
constexpr size_t kMaxAddressBytes = 2048;
constexpr std::string_view kForbidden = " \t\r\n\"'<>\\`";
constexpr std::string_view kHostCharacters = "abcdefghijklmnopqrstuvwxyz0123456789-.";
}  // namespace

std::string ServicePageAddress(std::string_view target) {
    const char* path = nullptr;
    if (target == "pricing")
        path = "/pricing";
    else if (target == "signup")
        path = "/login";
    else if (target == "account")
        path = "/account";
    else if (target == "app" || target == "help" || target == "changelog" || target == "update")
        path = "/";
    return path == nullptr ? std::string() : ServiceOrigin() + path;
}

bool IsServiceUrl(std::string_view address) {
    if (address.size() > kMaxAddressBytes) return false;
    for (const char c : address) {
        const auto u = static_cast<unsigned char>(c);
        // Only printable ASCII reaches the shell: no control character, DEL or byte above 127.
        if (u < 0x20 || u > 0x7E || kForbidden.find(c) != std::string_view::npos) return false;
    }
    constexpr std::string_view kScheme = "https://";
    if (address.substr(0, kScheme.size()) != kScheme) return false;
    const std::string_view rest = address.substr(kScheme.size());
    const size_t end = rest.find_first_of("/?:@");
    if (end != std::string_view::npos && (rest[end] == ':' || rest[end] == '@')) return false;
    const std::string_view host = rest.substr(0, end);
    const std::string_view domain = kServiceDomain;
    if (host == domain) return true;
    // A subdomain: at least one character and a dot before the domain itself.
    return host.size() >= domain.size() + 2 && host.substr(host.size() - domain.size()) == domain &&
           host[host.size() - domain.size() - 1] == '.' &&
           host.find_first_not_of(kHostCharacters) == std::string_view::npos;
}

void HandleOpenUrl(Palette& palette, const std::string& id, const rapidjson::Value& payload) {
    const std::string url = StringMember(payload, "url");
    const std::string target = StringMember(payload, "target");
    const std::string address = url.empty() && !target.empty() ? ServicePageAddress(target) : url;
    if (!IsServiceUrl(address)) {
        ReplyError(palette, id, MakeFailure("invalid_request", "", 0));
        return;
    }
    // Whether a browser really opened is not known here; the page is told it was handed over.
    DesktopLauncher().OpenUrl(address);
    ReplyOk(palette, id, "{}");
}
