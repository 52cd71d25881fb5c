// The page-state files: named by a hash of the project key, written whole or not at all.
#include "store/StateFiles.h"

#include <cstdio>
#include <vector>

#include "platform/Files.h"
#include "store/FileStore.h"

namespace {
constexpr std::string_view kStateFolder = "state";
}

uint64_t ProjectKeyHash(std::string_view projectKey) {
    uint64_t value = 0x14650fb0739d0383ull;
    for (const char c : projectKey) {
        value ^= static_cast<unsigned char>(c);
        value *= 0x100000001b3ull;
    }
    return value;
}

std::string StateFilePath(std::string_view projectKey) {
    const std::string folder = DataSubfolder(kStateFolder);
    if (folder.empty()) return {};
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.json", static_cast<unsigned long long>(ProjectKeyHash(projectKey)));
    return JoinPath(folder, name);
}

std::optional<std::string> ReadStateFile(std::string_view projectKey) {
    std::string bytes;
    if (!ReadWholeFile(StateFilePath(projectKey), &bytes, kMaxStateBytes)) return std::nullopt;
    return bytes;
}

bool WriteStateFile(std::string_view projectKey, std::string_view bytes) {
    // A state the reader would refuse is not written: the previous one stays readable.
    if (bytes.size() > kMaxStateBytes) return false;
    const std::string path = StateFilePath(projectKey);
    return !path.empty() && WriteFileAtomic(path, bytes);
}

void DeleteStateFiles() {
    // Found without making any folder, so that a folder that cannot be made just then does not
    // pass for one with no states in it.
    const std::string data = DataFolderPath();
    if (data.empty()) return;
    const std::string folder = JoinPath(data, kStateFolder);
    std::vector<FolderEntry> entries;
    if (!Files().List(folder, &entries)) return;
    for (const FolderEntry& e : entries) {
        const bool json = e.name.size() >= 5 && e.name.compare(e.name.size() - 5, 5, ".json") == 0;
        if (!e.isFolder && json) Files().Delete(JoinPath(folder, e.name));
    }
}
