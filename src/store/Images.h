// Image conversions for the host and the page: turning any readable picture into PNG when the
// host would not accept it, reading a picture's pixel size, and re-encoding a picture as a
// scaled JPEG. Pure functions over bytes; every failure is reported by the result (false or
// empty), never by an exception. Any thread may call them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr uint64_t kMaxImageInputBytes = 4294967295u;  // 4 GiB - 1
inline constexpr size_t kMaxPngOutputBytes = 33554432;        // 32 MiB
inline constexpr size_t kMaxJpegOutputBytes = 268435456;      // 256 MiB

// True when the bytes start as a PNG (89 50) or a JPEG (FF D8), untouched; otherwise converts any
// picture the system reads into a PNG of the same size and replaces the bytes with it. On failure
// the bytes are left unchanged.
bool EnsurePngOrJpeg(std::string* bytes);

// A copy of the bytes, converted to PNG when their signature is WebP or unknown; empty when that
// conversion fails. JPEG, PNG, GIF, BMP and the video types are returned as they are.
std::string NormalizeImage(std::string_view bytes);

// The picture's width and height (after normalising); false, with both 0, unless both are > 0.
bool ImagePixelSize(std::string_view bytes, int* width, int* height);

// The picture as a JPEG at the given quality (clamped to 1…100), drawn onto opaque white and,
// when maxSide is not 0 and its longer side exceeds maxSide, scaled down so the longer side is
// maxSide: each side round(side × maxSide / longer side), at least 1. Never enlarged. False, with
// out empty, when the picture cannot be read or encoded.
bool EncodeJpeg(std::string_view bytes, int maxSide, int quality, std::string* out);
