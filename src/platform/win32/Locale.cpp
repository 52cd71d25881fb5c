// Win32: the user's default locale name, such as "pt-BR".
#include <windows.h>

#include "platform/Locale.h"

std::u16string SystemUserLocaleName() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    // The count includes the terminating NUL; 0 is a failure.
    const int n = ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    if (n <= 1) return {};
    return std::u16string(name, name + n - 1);
}
