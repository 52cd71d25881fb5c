// The user folders, with the stand-ins that tests put in place of the system's.
#include <mutex>

#include "platform/UserFolders.h"

std::string SystemDataRoot();
std::string SystemConfigRoot();
TimeOfDay SystemLocalTime();

namespace {
std::mutex gOverrideMutex;
std::string gDataOverride, gConfigOverride;
std::optional<TimeOfDay> gLocalTimeOverride;

std::string Override(const std::string& value) {
    std::lock_guard<std::mutex> lock(gOverrideMutex);
    return value;
}
}  // namespace

std::string UserDataRoot() {
    const std::string o = Override(gDataOverride);
    return o.empty() ? SystemDataRoot() : o;
}

std::string UserConfigRoot() {
    const std::string o = Override(gConfigOverride);
    return o.empty() ? SystemConfigRoot() : o;
}

void SetUserFoldersForTesting(const std::string& dataRoot, const std::string& configRoot) {
    std::lock_guard<std::mutex> lock(gOverrideMutex);
    gDataOverride = dataRoot;
    gConfigOverride = configRoot;
}

TimeOfDay LocalTimeOfDay() {
    {
        std::lock_guard<std::mutex> lock(gOverrideMutex);
        if (gLocalTimeOverride) return *gLocalTimeOverride;
    }
    return SystemLocalTime();
}

void SetLocalTimeForTesting(std::optional<TimeOfDay> time) {
    std::lock_guard<std::mutex> lock(gOverrideMutex);
    gLocalTimeOverride = time;
}
