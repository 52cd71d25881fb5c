// UTF-16 at the Windows edge: conversions between the add-on's UTF-8 and the system's wide text.
#pragma once
#include <string>
#include <string_view>

#include "platform/Utf.h"

// Widened straight into the result: no other copy is made, so text that holds a secret (the
// request's header block) leaves none behind.
inline std::wstring Wide(std::string_view utf8) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");
    std::wstring text(Utf16Length(utf8), L'\0');
    WidenUtf8(utf8, reinterpret_cast<char16_t*>(text.data()));
    return text;
}

inline std::string Narrow(std::wstring_view wide) {
    return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}
