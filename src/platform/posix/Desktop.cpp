// POSIX: pages and folders open through xdg-open; there is no native dialog, so dialogs cancel.
#include "platform/Desktop.h"

#include <spawn.h>
#include <sys/wait.h>

#include <string_view>

extern char** environ;

namespace {
constexpr std::string_view kExplorer = "explorer.exe";
constexpr std::string_view kSelectSwitch = "/select,";

bool Spawn(const char* const* argv, int* status) {
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return false;
    return ::waitpid(pid, status, 0) == pid;
}

// Starts xdg-open on the target in the background of a short-lived shell, which is reaped at
// once: the opener belongs to init from then on, so nothing is left for the host to wait for.
bool SpawnDetached(const std::string& target) {
    const char* argv[] = {"/bin/sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 </dev/null &", "sh", target.c_str(), nullptr};
    int status = 0;
    return Spawn(argv, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The folder of the path that "/select,\"PATH\"" names; empty for other parameters.
std::string SelectedFolder(std::string_view parameters) {
    if (parameters.substr(0, kSelectSwitch.size()) != kSelectSwitch) return {};
    std::string_view path = parameters.substr(kSelectSwitch.size());
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    const size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

class XdgLauncher final : public Launcher {
public:
    // xdg-open may wait for the browser it starts: it runs detached, so the host never waits.
    bool OpenUrl(const std::string& url) override { return SpawnDetached(url); }
    bool ShellOpen(const std::string& file, const std::string& parameters) override {
        if (file == kExplorer) {
            const std::string folder = SelectedFolder(parameters);
            return !folder.empty() && SpawnDetached(folder);
        }
        return SpawnDetached(file);
    }
};

class NoDialogs final : public Dialogs {
public:
    DialogOutcome PickFolder(const FolderDialogRequest&, std::string*) override { return DialogOutcome::Cancelled; }
    DialogOutcome PickFile(const FileDialogRequest&, std::string*, uint32_t* error) override {
        *error = 0;
        return DialogOutcome::Cancelled;
    }
};
}  // namespace

Launcher& SystemLauncher() {
    static XdgLauncher launcher;
    return launcher;
}

Dialogs& SystemDialogs() {
    static NoDialogs dialogs;
    return dialogs;
}
