// The user's locale name: the testing override, or the operating system's.
#include "platform/Locale.h"

#include <mutex>

namespace {
std::mutex gMutex;
std::optional<std::u16string> gOverride;
}  // namespace

std::u16string UserLocaleName() {
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (gOverride) return *gOverride;
    }
    return SystemUserLocaleName();
}

void SetUserLocaleNameForTesting(std::optional<std::u16string> name) {
    std::lock_guard<std::mutex> lock(gMutex);
    gOverride = std::move(name);
}
