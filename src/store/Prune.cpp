// Pruning the file store of entries not written for a given number of days.
#include "platform/Files.h"
#include "platform/UserFolders.h"
#include "store/FileStore.h"

namespace {
constexpr int64_t kDay100ns = 864000000000;

bool EndsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}
}  // namespace

void PruneStore(int days) {
    const std::string folder = DataSubfolder("files");
    if (folder.empty()) return;
    const int64_t now = SystemTime100ns();
    const int64_t limit = days * kDay100ns;
    std::vector<FolderEntry> entries;
    if (!Files().List(folder, &entries)) return;
    for (const FolderEntry& entry : entries) {
        if (entry.isFolder || entry.name.size() <= 5) continue;
        if (!EndsWith(entry.name, ".dat") && !EndsWith(entry.name, ".link")) continue;
        // Entries written in the future stay.
        if (now - entry.lastWrite > limit) Files().Delete(JoinPath(folder, entry.name));
    }
}
