// Win32: the roaming application-data folder, new identifiers and the wall clock.
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include "platform/UserFolders.h"
#include "platform/win32/Wide.h"

namespace {
// Frees the text the shell allocated for a known folder, on every path.
struct CoTaskText {
    PWSTR text = nullptr;
    ~CoTaskText() { ::CoTaskMemFree(text); }
};

std::string RoamingAppData() {
    CoTaskText path;
    if (FAILED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path.text)) || path.text == nullptr)
        return {};
    return Narrow(path.text);
}
}  // namespace

std::string SystemDataRoot() { return RoamingAppData(); }

std::string SystemConfigRoot() { return RoamingAppData(); }

std::string UserTempFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    if (length == 0 || length > MAX_PATH) return {};
    std::wstring folder(path, length);
    // "C:\" stays a root; a longer folder loses its trailing separator.
    if (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return Narrow(folder);
}

std::array<uint8_t, 16> NewIdentifierBytes() {
    std::array<uint8_t, 16> bytes{};
    GUID guid{};
    if (SUCCEEDED(::CoCreateGuid(&guid))) {
        static_assert(sizeof guid == 16);
        ::memcpy(bytes.data(), &guid, 16);
        return bytes;
    }
    // Without COM's generator: the performance counter and the process id.
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    const auto c = static_cast<uint64_t>(counter.QuadPart);
    const DWORD pid = ::GetCurrentProcessId();
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(c >> (8 * i));
    bytes[4] = static_cast<uint8_t>(pid);
    bytes[5] = static_cast<uint8_t>(pid >> 8);
    bytes[6] = static_cast<uint8_t>(c >> 32);
    bytes[7] = static_cast<uint8_t>(c >> 40);
    return bytes;
}

TimeOfDay SystemLocalTime() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return {t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDay, t.wMonth};
}

int64_t SystemTime100ns() {
    FILETIME t{};
    ::GetSystemTimeAsFileTime(&t);
    return (int64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}
