// Normalising and checking service paths.
#include "handlers/service/ServicePaths.h"

#include <cstring>

#include "platform/Http.h"

namespace {
constexpr size_t kMaxPathBytes = 2048;
constexpr char kAllowed[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~/%?=&+,:@!$*()";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A byte that a percent-escape may not stand for: one the path could spell plainly (letters,
// digits, "-", ".", "_", "~") or one that changes how the path splits ("/", "\").
bool MustBePlain(int byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
           byte == '-' || byte == '.' || byte == '_' || byte == '~' || byte == '/' || byte == '\\';
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}
bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && EqualNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// The endpoints the add-on treats apart from ordinary calls: those it knows by their whole path
// (sent without the token, or signing out) and the paid ones it knows by their last segment.
constexpr std::string_view kTokenFreeEndpoints[] = {"/api/v1/plugin/config", "/api/v1/device/start",
                                                    "/api/v1/device/token"};
constexpr std::string_view kSignOutEndpoint = "/api/v1/device/tokens/current";
constexpr std::string_view kWholeEndpoints[] = {kTokenFreeEndpoints[0], kTokenFreeEndpoints[1],
                                                kTokenFreeEndpoints[2], kSignOutEndpoint};
constexpr std::string_view kPaidEndings[] = {"/generations", "/animation-video"};

bool IsSpecialEndpoint(std::string_view base) {
    for (const std::string_view whole : kWholeEndpoints)
        if (base == whole) return true;
    return IsPaidEndpoint(base);
}

bool SpellsSpecialEndpointIgnoringCase(std::string_view base) {
    for (const std::string_view whole : kWholeEndpoints)
        if (EqualNoCase(base, whole)) return true;
    for (const std::string_view ending : kPaidEndings)
        if (EndsWithNoCase(base, ending)) return true;
    return false;
}

// A path that a service routing without regard to letter case, or taking a format suffix
// (".json"), would serve as a special endpoint, while the add-on would send it as an ordinary
// call: with the token to a sign-in endpoint, past the paid-call block, or revoking the token
// without signing out here. None of the special words holds a ".", so a suffix starts at the
// last segment's first ".".
bool MistakableForSpecialEndpoint(std::string_view base) {
    if (!StartsWith(base, "/api/") || IsSpecialEndpoint(base)) return false;
    if (SpellsSpecialEndpointIgnoringCase(base)) return true;
    const size_t lastSegment = base.rfind('/') + 1;
    const size_t dot = base.find('.', lastSegment);
    return dot != std::string_view::npos && dot + 1 < base.size() &&
           SpellsSpecialEndpointIgnoringCase(base.substr(0, dot));
}
}  // namespace

std::string ServiceOrigin() { return std::string("https://") + kServiceHost; }

std::string_view BasePath(std::string_view path) { return path.substr(0, path.find('?')); }

bool NormalizeServicePath(std::string& path) {
    const std::string origin = ServiceOrigin() + "/";
    if (StartsWith(path, origin)) path.erase(0, origin.size() - 1);
    if (path.empty() || path.size() > kMaxPathBytes || path[0] != '/') return false;
    if (path.find("..") != std::string::npos || path.find_first_of("\\#") != std::string::npos) return false;
    for (size_t i = 0; i < path.size(); ++i)
        if (std::strchr(kAllowed, path[i]) == nullptr || path[i] == '\0') return false;
    // One spelling for the part that names the endpoint: no dot segment, no empty segment, no
    // trailing "/", and no escape of a byte the path could hold plainly. The query is the
    // service's to read, and may escape what it likes.
    const std::string_view base = BasePath(path);
    if (base.find("//") != std::string_view::npos || base.find("/./") != std::string_view::npos ||
        EndsWith(base, "/.") || EndsWith(base, "/") || MistakableForSpecialEndpoint(base))
        return false;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '%') continue;
        const int high = i + 2 < path.size() ? HexValue(path[i + 1]) : -1;
        const int low = i + 2 < path.size() ? HexValue(path[i + 2]) : -1;
        if (high < 0 || low < 0 || (i < base.size() && MustBePlain(high * 16 + low))) return false;
    }
    return StartsWith(path, "/api/") || StartsWith(path, "/files/");
}

bool IsTokenFreeEndpoint(std::string_view base) {
    for (const std::string_view endpoint : kTokenFreeEndpoints)
        if (base == endpoint) return true;
    return false;
}

bool IsSignOutEndpoint(std::string_view base) { return base == kSignOutEndpoint; }

bool IsPaidEndpoint(std::string_view base) {
    for (const std::string_view ending : kPaidEndings)
        if (EndsWith(base, ending)) return true;
    return false;
}
