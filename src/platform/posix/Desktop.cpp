// POSIX: pages and files open through xdg-open; there is no native dialog, so dialogs cancel.
#include "platform/Desktop.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {
bool SpawnDetached(const std::string& program, const std::string& argument) {
    const char* argv[] = {program.c_str(), argument.c_str(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return false;
    // xdg-open returns at once after handing the target over; reap it so no zombie is left.
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class XdgLauncher final : public Launcher {
public:
    bool OpenUrl(const std::string& url) override { return SpawnDetached("xdg-open", url); }
    bool RevealFile(const std::string& path) override {
        const auto slash = path.find_last_of('/');
        return SpawnDetached("xdg-open", slash == std::string::npos ? path : path.substr(0, slash + 1));
    }
};

class NoDialogs final : public Dialogs {
public:
    bool PickFolder(const std::string&, const std::string&, std::string*) override { return false; }
    bool PickFile(const std::string&, const std::vector<FileFilter>&, std::string*) override { return false; }
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
