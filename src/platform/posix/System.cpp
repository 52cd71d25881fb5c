// POSIX: thread ids, the module's own path, file existence.
#include "platform/System.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/Utf.h"

namespace {
std::mutex gOverrideMutex;
std::string gModulePathOverride;
}  // namespace

uint32_t CurrentThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

std::string ModuleFilePath() {
    {
        std::lock_guard<std::mutex> lock(gOverrideMutex);
        if (!gModulePathOverride.empty()) return gModulePathOverride;
    }
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&ModuleFilePath), &info) == 0 || info.dli_fname == nullptr) return {};
    std::string path = info.dli_fname;
    if (!path.empty() && path[0] != '/') {
        char* resolved = ::realpath(info.dli_fname, nullptr);
        if (resolved == nullptr) return {};
        path = resolved;
        ::free(resolved);
    }
    return path;
}

void SetModuleFilePathForTesting(const std::string& path) {
    std::lock_guard<std::mutex> lock(gOverrideMutex);
    gModulePathOverride = path;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

char PathSeparator() { return '/'; }

bool EnvironmentFlag(const char* name, size_t bufferSize) {
    const char* value = std::getenv(name);
    if (value == nullptr) return false;
    const size_t length = std::strlen(value);
    return length >= 1 && length < bufferSize && value[0] == '1';
}

std::u16string ComputerName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    std::u16string wide = Utf8ToUtf16(name);
    return wide.size() > 15 ? std::u16string() : wide;
}
