// Base64 (RFC 4648, standard alphabet, "=" padding, no line breaks) and "data:" URLs, the form in
// which small images reach the page. Pure functions; no size limit is applied here, callers
// bound their images.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// 4 × ⌊(n + 2) / 3⌋ characters for n bytes.
constexpr size_t Base64Length(size_t bytes) { return (bytes + 2) / 3 * 4; }

std::string Base64Encode(std::string_view bytes);
// The same characters as UTF-16 units, written at `out` (room for Base64Length units); returns the
// end of what it wrote.
char16_t* Base64EncodeInto(std::string_view bytes, char16_t* out);

// "data:" + the content type ("application/octet-stream" when empty) + ";base64," + the bytes in
// base64.
std::string MakeDataUrl(std::string_view contentType, std::string_view bytes);
