// UTF-16 at the Windows edge: conversions between the add-on's UTF-8 and the system's wide text.
#pragma once
#include <string>
#include <string_view>

#include "platform/Utf.h"

inline std::wstring Wide(std::string_view utf8) {
    const std::u16string text = Utf8ToUtf16(utf8);
    return std::wstring(text.begin(), text.end());
}

inline std::string Narrow(std::wstring_view wide) {
    return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}
