// POSIX: the XDG user folders, random identifiers and the wall clock.
#include "platform/UserFolders.h"

#include <pwd.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <random>

namespace {
std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

// An XDG base folder: the variable when it holds an absolute path, else HOME + fallback.
std::string XdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + fallback;
}
}  // namespace

std::string SystemDataRoot() { return XdgFolder("XDG_DATA_HOME", "/.local/share"); }

std::string SystemConfigRoot() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

std::string UserTempFolder() {
    const char* value = std::getenv("TMPDIR");
    std::string folder = value != nullptr && value[0] == '/' ? value : "/tmp";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::array<uint8_t, 16> NewIdentifierBytes() {
    std::array<uint8_t, 16> bytes{};
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            // No kernel source: the library's non-deterministic source instead.
            std::random_device device;
            for (auto& b : bytes) b = static_cast<uint8_t>(device());
            break;
        }
    }
    return bytes;
}

TimeOfDay SystemLocalTime() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct tm local {};
    ::localtime_r(&now.tv_sec, &local);
    return {static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min),
            static_cast<unsigned>(local.tm_sec), static_cast<unsigned>(now.tv_nsec / 1000000),
            static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_mon + 1)};
}

int64_t SystemTime100ns() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return int64_t{now.tv_sec} * 10000000 + now.tv_nsec / 100;
}
