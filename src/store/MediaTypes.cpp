// Media types: the extension table, the signature table and the content-type table.
#include "store/MediaTypes.h"

#include <array>
#include <cstddef>
#include <type_traits>
#include <utility>

namespace {
constexpr std::string_view kOctetStream = "application/octet-stream";

constexpr std::array<std::pair<std::string_view, std::string_view>, 11> kByExtension{{
    {".avi", "video/x-msvideo"},
    {".mp4", "video/mp4"},
    {".m4v", "video/mp4"},
    {".mov", "video/quicktime"},
    {".webm", "video/webm"},
    {".wmv", "video/x-ms-wmv"},
    {".mkv", "video/x-matroska"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".png", "image/png"},
    {".webp", "image/webp"},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kExtensionByType{{
    {"image/jpeg", ".jpg"},
    {"image/png", ".png"},
    {"image/webp", ".webp"},
    {"image/gif", ".gif"},
    {"image/bmp", ".bmp"},
    {"video/x-msvideo", ".avi"},
    {"video/quicktime", ".mov"},
    {"video/mp4", ".mp4"},
    {"video/webm", ".webm"},
}};

// The longest extension in the table; anything longer cannot match.
constexpr size_t kLongestExtension = 5;

// Lower-cases A-Z only: the host process runs in the "C" locale, where that is all towlower
// changes, and every extension in the table is ASCII.
template <typename Char>
std::string_view LookUpExtension(std::basic_string_view<Char> path) {
    const size_t dot = path.rfind(Char('.'));
    if (dot == std::basic_string_view<Char>::npos) return kOctetStream;
    const auto ext = path.substr(dot);
    if (ext.size() > kLongestExtension) return kOctetStream;
    char lower[kLongestExtension];
    for (size_t i = 0; i < ext.size(); ++i) {
        const auto c = static_cast<std::make_unsigned_t<Char>>(ext[i]);
        if (c > 0x7F) return kOctetStream;
        lower[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    const std::string_view key(lower, ext.size());
    for (const auto& [extension, type] : kByExtension)
        if (extension == key) return type;
    return kOctetStream;
}

bool At(std::string_view bytes, size_t offset, std::string_view expected) {
    return bytes.size() >= offset + expected.size() && bytes.substr(offset, expected.size()) == expected;
}
}  // namespace

std::string_view ContentTypeForPath(std::u16string_view path) { return LookUpExtension(path); }

std::string_view ContentTypeForPath(std::string_view path) {
    // Bytes of multi-byte UTF-8 sequences are above 0x7F and end the lookup, as a non-ASCII
    // UTF-16 unit does.
    return LookUpExtension(path);
}

std::string_view SniffContentType(std::string_view b) {
    using namespace std::string_view_literals;
    if (At(b, 0, "\xFF\xD8\xFF"sv)) return "image/jpeg";
    if (b.size() >= 8 && At(b, 0, "\x89PNG"sv)) return "image/png";
    if (b.size() >= 12 && At(b, 0, "RIFF"sv) && At(b, 8, "WEBP"sv)) return "image/webp";
    if (b.size() >= 12 && At(b, 0, "RIFF"sv) && At(b, 8, "AVI "sv)) return "video/x-msvideo";
    if (At(b, 0, "GIF8"sv)) return "image/gif";
    if (b.size() >= 10 && At(b, 4, "ftyp"sv) && At(b, 8, "qt"sv)) return "video/quicktime";
    if (At(b, 4, "ftyp"sv)) return "video/mp4";
    if (At(b, 0, "\x1A\x45\xDF\xA3"sv)) return "video/webm";
    if (At(b, 0, "BM"sv)) return "image/bmp";
    return {};
}

std::string_view ExtensionForContentType(std::string_view contentType) {
    for (const auto& [type, extension] : kExtensionByType)
        if (type == contentType) return extension;
    return ".bin";
}
