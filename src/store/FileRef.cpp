// File references: their grammar, new ones, and their store entries.
#include "platform/UserFolders.h"
#include "store/FileStore.h"

namespace {
constexpr size_t kIdDigits = 32;

bool IsLowerLetter(char c) { return c >= 'a' && c <= 'z'; }
bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }
}  // namespace

std::string NewFileRef(std::string_view prefix) {
    static const char kHex[] = "0123456789abcdef";
    std::string ref(prefix);
    ref += '-';
    for (const uint8_t b : NewIdentifierBytes()) {
        ref += kHex[b >> 4];
        ref += kHex[b & 15];
    }
    return ref;
}

bool IsValidFileRef(std::string_view text) {
    const size_t hyphen = text.find('-');
    if (hyphen == std::string_view::npos || hyphen < 1 || hyphen > 8) return false;
    if (text.size() != hyphen + 1 + kIdDigits) return false;
    for (size_t i = 0; i < hyphen; ++i)
        if (!IsLowerLetter(text[i])) return false;
    for (size_t i = hyphen + 1; i < text.size(); ++i)
        if (!IsLowerHex(text[i])) return false;
    return true;
}

std::string FileRefPath(std::string_view ref, std::string_view suffix) {
    if (!IsValidFileRef(ref)) return {};
    const std::string folder = DataSubfolder("files");
    if (folder.empty()) return {};
    std::string name(ref);
    name.append(suffix);
    return JoinPath(folder, name);
}

bool StoreBytes(std::string_view ref, std::string_view bytes) {
    const std::string path = FileRefPath(ref, ".dat");
    return !path.empty() && WriteFileAtomic(path, bytes);
}

bool StoreLink(std::string_view ref, std::string_view linked) {
    const std::string path = FileRefPath(ref, ".link");
    return !path.empty() && !linked.empty() && WriteFileAtomic(path, linked);
}

bool LoadFileRef(std::string_view ref, std::string* bytes, uint64_t maxBytes) {
    bytes->clear();
    const std::string path = FileRefPath(ref, ".dat");
    if (path.empty()) return false;
    if (ReadWholeFile(path, bytes, maxBytes)) return true;
    std::string link;
    if (!ReadWholeFile(FileRefPath(ref, ".link"), &link, kMaxLinkBytes)) return false;
    return ReadWholeFile(link, bytes, maxBytes);
}
