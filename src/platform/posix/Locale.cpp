// POSIX: the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty.
#include <cstdlib>

#include "platform/Locale.h"
#include "platform/Utf.h"

std::u16string SystemUserLocaleName() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return Utf8ToUtf16(value).substr(0, 85);
    }
    return {};
}
