// Names for files and worksheets: the file-name sanitiser and the placement label.
#include <algorithm>
#include <array>
#include <cstdio>

#include "handlers/output/Output.h"
#include "platform/UserFolders.h"

namespace {
constexpr size_t kMaxLabelBytes = 120;

bool Forbidden(char16_t c) {
    return c < 0x20 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
           c == u'>' || c == u'|';
}

bool Trimmed(char16_t c) { return c == u' ' || c == u'.'; }

void Trim(std::u16string& text) {
    while (!text.empty() && Trimmed(text.back())) text.pop_back();
    size_t first = 0;
    while (first < text.size() && Trimmed(text[first])) ++first;
    text.erase(0, first);
}

void CutTo(std::u16string& text, size_t maxUnits) {
    if (text.size() <= maxUnits) return;
    text.resize(maxUnits);
    // Never keep the first half of a surrogate pair.
    if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
    Trim(text);
}

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

// Windows opens a device, not a file, for these names whatever follows the first dot; the
// serial and parallel ports take the superscript digits one to three as well.
bool IsDeviceName(std::u16string_view stem) {
    while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
    std::u16string upper(stem);
    std::transform(upper.begin(), upper.end(), upper.begin(), Upper);
    static constexpr std::array<std::u16string_view, 4> kPlain = {u"CON", u"PRN", u"AUX", u"NUL"};
    if (std::find(kPlain.begin(), kPlain.end(), upper) != kPlain.end()) return true;
    const auto portDigit = [](char16_t c) {
        return (c >= u'1' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3';
    };
    return upper.size() == 4 && (upper.compare(0, 3, u"COM") == 0 || upper.compare(0, 3, u"LPT") == 0) &&
           portDigit(upper[3]);
}
}  // namespace

std::u16string SanitizeFileName(std::u16string_view text, size_t maxUnits) {
    std::u16string name;
    for (char16_t c : text)
        if (!Forbidden(c)) name += c;
    Trim(name);
    CutTo(name, maxUnits);
    const size_t dot = name.find(u'.');
    std::u16string_view stem = std::u16string_view(name).substr(0, dot);
    if (IsDeviceName(stem)) {
        size_t end = stem.size();
        while (end > 0 && stem[end - 1] == u' ') --end;
        name.insert(end, 1, u'_');
        // At the limit the guard takes the place of the name's last character instead.
        if (name.size() > maxUnits && end > 0) name.erase(end - 1, 1);
        CutTo(name, maxUnits);
    }
    return name;
}

namespace OvraViews {
std::string PlacementLabel(const std::string& requested) {
    if (requested.empty()) {
        const TimeOfDay t = LocalTimeOfDay();
        char text[64];
        std::snprintf(text, sizeof text, "Tamsel Ovra %02u-%02u %02u.%02u.%02u", t.day, t.month, t.hour, t.minute,
                      t.second);
        return text;
    }
    if (requested.size() <= kMaxLabelBytes) return requested;
    // Back off to the start of the character that the limit would split (a character is at most
    // four bytes; a longer run of continuation bytes is not text and is cut where it stands).
    size_t cut = kMaxLabelBytes;
    while (cut > kMaxLabelBytes - 3 && (static_cast<unsigned char>(requested[cut]) & 0xC0) == 0x80) --cut;
    if ((static_cast<unsigned char>(requested[cut]) & 0xC0) == 0x80) cut = kMaxLabelBytes;
    return requested.substr(0, cut);
}
}  // namespace OvraViews
