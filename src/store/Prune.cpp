// Pruning the file store of entries not written for a given number of days, and the add-on's
// folders of temporary files that a crash left behind.
#include "platform/Files.h"
#include "platform/UserFolders.h"
#include "store/FileStore.h"

namespace {
constexpr int64_t kDay100ns = 864000000000;

bool EndsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsStoreEntry(const std::string& name) { return name.size() > 5 && (EndsWith(name, ".dat") || EndsWith(name, ".link")); }

// The temporary files of WriteFileAtomic ("toh") and of the token ("tot").
bool IsOwnTemporaryFile(const std::string& name) {
    return name.size() > 7 && (name.rfind("toh", 0) == 0 || name.rfind("tot", 0) == 0) && EndsWith(name, ".tmp");
}

// Deletes the folder's files that match and were last written more than `limit` ago; files
// written in the future stay.
void PruneFolder(const std::string& folder, bool (*matches)(const std::string&), int64_t limit, int64_t now) {
    if (folder.empty()) return;
    std::vector<FolderEntry> entries;
    if (!Files().List(folder, &entries)) return;
    for (const FolderEntry& entry : entries)
        if (!entry.isFolder && matches(entry.name) && now - entry.lastWrite > limit)
            Files().Delete(JoinPath(folder, entry.name));
}

// A name of the exact form WriteNewFile's temporary files take in a folder of the user's:
// "toh", one to four hexadecimal digits, ".tmp" (Windows writes the extension in capitals).
bool IsWriteNewFileTemporary(const std::string& name) {
    constexpr std::string_view kPrefix = "toh", kExtension = ".tmp";
    if (name.size() < kPrefix.size() + 1 + kExtension.size() || name.size() > kPrefix.size() + 4 + kExtension.size() ||
        name.compare(0, kPrefix.size(), kPrefix) != 0)
        return false;
    const size_t digitsEnd = name.size() - kExtension.size();
    for (size_t i = kPrefix.size(); i < digitsEnd; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
    }
    for (size_t i = 0; i < kExtension.size(); ++i) {
        const char c = name[digitsEnd + i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kExtension[i]) return false;
    }
    return true;
}
}  // namespace

void PruneOwnTemporaryFiles(const std::string& folder) {
    PruneFolder(folder, IsWriteNewFileTemporary, kDay100ns, SystemTime100ns());
}

void PruneStore(int days) {
    const int64_t now = SystemTime100ns();
    const std::string files = DataSubfolder("files");
    PruneFolder(files, IsStoreEntry, days * kDay100ns, now);
    // A temporary file lives for one write; one a day old was left by a crash.
    for (const std::string& folder : {DataFolder(), files, DataSubfolder("state")})
        PruneFolder(folder, IsOwnTemporaryFile, kDay100ns, now);
}
