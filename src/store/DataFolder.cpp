// The data folder and its subfolders, worked out afresh on every call.
#include "platform/Files.h"
#include "platform/System.h"
#include "platform/UserFolders.h"
#include "store/FileStore.h"

namespace {
std::string MadeOrEmpty(const std::string& path) {
    return Files().MakeFolder(path) == FolderResult::Failed ? std::string() : path;
}

void MakeParentsThenFolder(const std::string& path, int depth) {
    if (Files().MakeFolder(path) != FolderResult::Failed) return;
    const size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos || cut == 0 || depth > 32) return;
    MakeParentsThenFolder(path.substr(0, cut), depth + 1);
    Files().MakeFolder(path);
}
}  // namespace

void MakeFolderAndParents(const std::string& path) { MakeParentsThenFolder(path, 0); }

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    path += PathSeparator();
    path.append(name);
    return path;
}

std::string DataFolderPath() {
    const std::string root = UserDataRoot();
    return root.empty() ? std::string() : JoinPath(root, "Ovra for Archicad");
}

std::string DataFolder() {
    const std::string root = UserDataRoot();
    if (root.empty()) return {};
    // The root itself is the system's; on POSIX it, and even its parent (~/.local), may not
    // exist yet on a fresh account.
    MakeFolderAndParents(root);
    return MadeOrEmpty(DataFolderPath());
}

std::string DataSubfolder(std::string_view name) {
    const std::string folder = DataFolder();
    return folder.empty() ? std::string() : MadeOrEmpty(JoinPath(folder, name));
}
