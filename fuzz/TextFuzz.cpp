// Fuzz target: the small checks and rewrites of text that comes from the page or the service.
// The first byte picks the function, the rest is its text:
//   'p'  NormalizeServicePath: an accepted path is one the transport may send, in its one
//        spelling, and normalising it again changes nothing
//   'u'  IsServiceUrl: an accepted address opens a page whose host, as a browser reads it, is the
//        service domain or a subdomain of it
//   'r'  IsValidFileRef and FileRefPath: exactly the grammar of a reference, and its path is an
//        entry of the store's folder
//   'n'  SanitizeFileName (the second byte sets the limit): a name Windows accepts as a plain
//        file, within the limit, whole characters only, unchanged when sanitised again
//   'l'  ShortenForLog: no data URL survives whole, the line stays within 1,503 bytes, and valid
//        UTF-8 stays valid
// Any other first byte does nothing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "handlers/output/Output.h"
#include "handlers/selftest/SelfTest.h"
#include "handlers/service/ServicePaths.h"
#include "handlers/service/WebPages.h"
#include "platform/Http.h"
#include "platform/Utf.h"
#include "store/FileStore.h"

namespace {
void Check(bool condition) {
    if (!condition) std::abort();
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}
bool Has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

void ServicePath(std::string_view text) {
    std::string path(text);
    if (!NormalizeServicePath(path)) return;
    Check(!path.empty() && path.size() <= 2048 && path[0] == '/' && (path.size() < 2 || path[1] != '/'));
    Check(StartsWith(path, "/api/") || StartsWith(path, "/files/"));
    for (const char c : path) Check(c > 0x20 && c < 0x7F && c != '#' && c != '\\' && c != '"');
    const std::string_view base = BasePath(path);
    Check(!Has(path, "..") && !Has(base, "//") && !Has(base, "/./") && !EndsWith(base, "/") && !EndsWith(base, "/."));
    const std::string origin = ServiceOrigin();
    Check(path == (StartsWith(text, origin + "/") ? text.substr(origin.size()) : text));
    std::string again = path;
    Check(NormalizeServicePath(again) && again == path);
}

void ServiceUrl(std::string_view address) {
    if (!IsServiceUrl(address)) return;
    Check(StartsWith(address, "https://") && address.size() <= 2048);
    for (const char c : address) Check(c > 0x20 && c < 0x7F);
    // The authority as a browser reads it: up to the first "/", "?", "#" or "\"; no user name
    // or port may ride along.
    const std::string_view rest = address.substr(8);
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#\\"));
    Check(!Has(authority, "@") && !Has(authority, ":") && !Has(authority, "%"));
    const std::string_view domain = kServiceDomain;
    if (authority == domain) return;
    Check(authority.size() > domain.size() + 1 && EndsWith(authority, domain) &&
          authority[authority.size() - domain.size() - 1] == '.');
    for (const char c : authority) Check((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.');
}

void FileRef(std::string_view text) {
    const size_t hyphen = text.find('-');
    bool grammar = hyphen != std::string_view::npos && hyphen >= 1 && hyphen <= 8 && text.size() == hyphen + 33;
    for (size_t i = 0; grammar && i < text.size(); ++i) {
        const char c = text[i];
        grammar = i < hyphen ? (c >= 'a' && c <= 'z') : i == hyphen || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    }
    Check(IsValidFileRef(text) == grammar);
    const std::string path = FileRefPath(text, ".dat");
    if (!grammar) return Check(path.empty());
    const std::string folder = DataSubfolder("files");
    Check(folder.empty() ? path.empty() : path == JoinPath(folder, std::string(text) + ".dat"));
}

bool IsDeviceStem(std::u16string_view name) {
    std::u16string_view stem = name.substr(0, name.find(u'.'));
    while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
    std::string upper;
    for (const char16_t c : stem) upper += c < 0x80 ? static_cast<char>(c >= u'a' && c <= u'z' ? c - 32 : c) : '?';
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
    return upper.size() == 4 && (StartsWith(upper, "COM") || StartsWith(upper, "LPT")) && upper[3] >= '1' &&
           upper[3] <= '9';
}

void FileName(std::string_view bytes) {
    if (bytes.empty()) return;
    const size_t limit = 1 + static_cast<unsigned char>(bytes[0]) % 128;
    const std::u16string name = SanitizeFileName(Utf8ToUtf16(bytes.substr(1)), limit);
    Check(name.size() <= limit);
    if (name.empty()) return;
    Check(name.front() != u' ' && name.front() != u'.' && name.back() != u' ' && name.back() != u'.');
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        Check(c >= 0x20 && std::u16string_view(u"\\/:*?\"<>|").find(c) == std::u16string_view::npos);
        // Whole characters only: every surrogate in its pair.
        if (c >= 0xD800 && c <= 0xDBFF) Check(i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF);
        if (c >= 0xDC00 && c <= 0xDFFF) Check(i > 0 && name[i - 1] >= 0xD800 && name[i - 1] <= 0xDBFF);
    }
    Check(!IsDeviceStem(name));
    Check(SanitizeFileName(name, limit) == name);
}

void LogLine(std::string_view text) {
    const std::string line = ShortenForLog(std::string(text));
    Check(line.size() <= 1503);
    const bool cut = line.size() > 1500;
    Check(!cut || EndsWith(line, "..."));
    const std::string_view kept = std::string_view(line).substr(0, cut ? 1500 : line.size());
    // Every data URL was replaced up to its closing quote; one without a quote stays.
    for (size_t at = kept.find("data:"); at != std::string_view::npos; at = kept.find("data:", at + 1))
        Check(kept.find('"', at) == std::string_view::npos);
    if (Utf8ToUtf16Strict(text)) Check(Utf8ToUtf16Strict(line).has_value());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0]) {
        case 'p': ServicePath(text); break;
        case 'u': ServiceUrl(text); break;
        case 'r': FileRef(text); break;
        case 'n': FileName(text); break;
        case 'l': LogLine(text); break;
        default: break;
    }
    return 0;
}
