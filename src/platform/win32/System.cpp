// Win32: thread ids, the module's own path, file existence.
#include <windows.h>

#include <mutex>
#include <vector>

#include "platform/System.h"
#include "platform/win32/Owners.h"
#include "platform/win32/Wide.h"

namespace {
std::mutex gOverrideMutex;
std::string gModulePathOverride;

// Module paths longer than this count as unreadable.
constexpr DWORD kModulePathChars = 520;
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

bool EnvironmentFlag(const char* name, size_t bufferSize) {
    // The value is read into a zeroed buffer; one that does not fit with its terminator makes
    // the call answer the size it needs, which is no shorter than the buffer.
    std::vector<char> value(bufferSize, '\0');
    const DWORD n = ::GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(bufferSize));
    return n >= 1 && n < bufferSize && value[0] == '1';
}

std::u16string ComputerName() {
    // The buffer holds 15 units and the terminator: a longer name makes the call fail.
    wchar_t name[16] = {};
    DWORD length = 16;
    if (!::GetComputerNameW(name, &length) || length >= 16) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(name), length);
}
