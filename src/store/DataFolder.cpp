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

std::string DataFolderIn(const std::string& root) {
    return root.empty() ? std::string() : JoinPath(root, "Ovra for Archicad");
}
}  // namespace

void MakeFolderAndParents(const std::string& path) { MakeParentsThenFolder(path, 0); }

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    path += PathSeparator();
    path.append(name);
    return path;
}

std::string DataFolderPath() { return DataFolderIn(UserDataRoot()); }

std::string DataFolder() {
    const std::string root = UserDataRoot();
    if (root.empty()) return {};
    const std::string folder = DataFolderIn(root);
    // Nearly always the folder is there already: one call finds it. Otherwise the root itself,
    // the system's, and even its parent (~/.local on POSIX) may not exist yet on a fresh account.
    if (Files().MakeFolder(folder) != FolderResult::Failed) return folder;
    MakeFolderAndParents(root);
    return MadeOrEmpty(folder);
}

std::string DataSubfolder(std::string_view name) {
    const std::string folder = DataFolder();
    return folder.empty() ? std::string() : MadeOrEmpty(JoinPath(folder, name));
}
