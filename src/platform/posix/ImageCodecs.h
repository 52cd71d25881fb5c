// The POSIX picture codecs behind platform/Images.h, one family per library: TurboJPEG for JPEG,
// libpng for PNG, libwebp for WebP, stb_image for GIF and BMP. Each reads only its own format
// (the caller dispatches on the signature) and fails by returning false.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Images.h"

bool ReadJpegSize(std::string_view bytes, int* width, int* height);
bool ReadJpeg(std::string_view bytes, Bitmap* out, int minWidth, int minHeight);
bool WriteJpeg(const Bitmap& bitmap, int quality, std::string* jpeg);

bool ReadPngSize(std::string_view bytes, int* width, int* height);
bool ReadPng(std::string_view bytes, Bitmap* out);
bool WritePng(const Bitmap& bitmap, size_t maxBytes, std::string* png);

bool ReadWebpSize(std::string_view bytes, int* width, int* height);
bool ReadWebp(std::string_view bytes, Bitmap* out);

// GIF (first frame) and BMP.
bool ReadGifBmpSize(std::string_view bytes, int* width, int* height);
bool ReadGifBmp(std::string_view bytes, Bitmap* out);

// Sets bitmap.opaque by looking at every alpha.
void MarkOpaque(Bitmap& bitmap);
