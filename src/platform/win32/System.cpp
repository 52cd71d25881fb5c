// Win32: thread ids, the module's own path, file existence.
#include <windows.h>

#include <mutex>

#include "platform/System.h"
#include "platform/win32/Wide.h"

namespace {
std::mutex gOverrideMutex;
std::string gModulePathOverride;

// Module paths longer than this count as unreadable.
constexpr DWORD kModulePathChars = 520;

// Any object of this module: its address names the module that holds it.
const char kInsideThisModule = 0;
}  // namespace

uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

std::string ModuleFilePath() {
    {
        std::lock_guard<std::mutex> lock(gOverrideMutex);
        if (!gModulePathOverride.empty()) return gModulePathOverride;
    }
    // The module that holds this code (the add-on, not the host's executable). The reference
    // count is left unchanged, so there is nothing to free.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&kInsideThisModule), &module))
        return {};
    wchar_t path[kModulePathChars];
    const DWORD n = ::GetModuleFileNameW(module, path, kModulePathChars);
    // A path that filled the buffer was cut short.
    if (n == 0 || n >= kModulePathChars) return {};
    return Narrow(std::wstring_view(path, n));
}

void SetModuleFilePathForTesting(const std::string& path) {
    std::lock_guard<std::mutex> lock(gOverrideMutex);
    gModulePathOverride = path;
}

bool FileExists(const std::string& path) {
    return !path.empty() && ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

char PathSeparator() { return '\\'; }
