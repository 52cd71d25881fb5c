// The user's locale name: the testing override, or the operating system's.
#include "platform/Locale.h"

#include <mutex>

namespace {
std::mutex gLocaleMutex;
std::optional<std::u16string> gOverride;
}  // namespace

std::u16string UserLocaleName() {
    {
        std::lock_guard<std::mutex> lock(gLocaleMutex);
        if (gOverride) return *gOverride;
    }
    return SystemUserLocaleName();
}

void SetUserLocaleNameForTesting(std::optional<std::u16string> name) {
    std::lock_guard<std::mutex> lock(gLocaleMutex);
    gOverride = std::move(name);
}
