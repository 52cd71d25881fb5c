// Conversions between UTF-8 and UTF-16, in one place.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// Refuses invalid UTF-8 (overlong forms, surrogates, values above U+10FFFF, cut sequences).
std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view text);
// Whether Utf8ToUtf16Strict accepts the text; checked in place, without a copy.
bool IsValidUtf8(std::string_view text);
// The UTF-16 length of Utf8ToUtf16(text), counted without converting.
size_t Utf16Length(std::string_view text);
// Writes Utf8ToUtf16(text) at `out`, which has room for Utf16Length(text) units; returns the end
// of what it wrote. ASCII runs are widened in bulk.
char16_t* WidenUtf8(std::string_view text, char16_t* out);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
