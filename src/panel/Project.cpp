// The project's key, names and folder, read from the host.
#include "panel/Project.h"

#include <optional>

#include "host/HostApi.h"
#include "platform/Files.h"
#include "platform/Utf.h"

namespace {
// The saved project's path: the host answers, the project is not untitled and has a path.
std::optional<std::string> SavedProjectPath() {
    ProjectInfo info;
    if (Host().GetProjectInfo(&info) != kHostOk || info.untitled || !info.hasPath || info.path.empty())
        return std::nullopt;
    return Utf16ToUtf8(info.path);
}
}  // namespace

std::string ProjectKey() {
    ProjectInfo info;
    if (Host().GetProjectInfo(&info) != kHostOk) return "none";
    std::string key = info.untitled ? "untitled:" : "file:";
    if (info.hasPath)
        key += Utf16ToUtf8(info.path);
    else if (info.hasName)
        key += Utf16ToUtf8(info.name);
    return key;
}

std::string ProjectName() {
    ProjectInfo info;
    if (Host().GetProjectInfo(&info) == kHostOk && info.hasName && !info.name.empty()) return Utf16ToUtf8(info.name);
    return "Archicad";
}

std::string ModelFileName() {
    const auto path = SavedProjectPath();
    if (!path) return {};
    const size_t cut = path->find_last_of("\\/");
    return cut == std::string::npos ? *path : path->substr(cut + 1);
}

std::string ProjectFolder() {
    const auto path = SavedProjectPath();
    if (!path) return {};
    const size_t cut = path->find_last_of("\\/");
    if (cut == std::string::npos) return {};
    const std::string folder = path->substr(0, cut);
    return Files().IsFolder(folder) ? folder : std::string();
}
