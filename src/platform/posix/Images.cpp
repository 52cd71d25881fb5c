// POSIX: the picture operations, dispatched on the picture's signature to its codec.
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

#include "platform/Guarded.h"
#include "platform/Images.h"
#include "platform/posix/ImageCodecs.h"

namespace {
enum class Format { Unknown, Jpeg, Png, Webp, Gif, Bmp };

bool StartsWith(std::string_view bytes, size_t offset, std::string_view text) {
    return bytes.size() >= offset + text.size() && bytes.compare(offset, text.size(), text) == 0;
}

Format FormatOf(std::string_view b) {
    using namespace std::string_view_literals;
    if (StartsWith(b, 0, "\xFF\xD8\xFF"sv)) return Format::Jpeg;
    if (StartsWith(b, 0, "\x89PNG\r\n\x1A\n"sv)) return Format::Png;
    if (StartsWith(b, 0, "RIFF"sv) && StartsWith(b, 8, "WEBP"sv)) return Format::Webp;
    if (StartsWith(b, 0, "GIF8"sv)) return Format::Gif;
    if (StartsWith(b, 0, "BM"sv)) return Format::Bmp;
    return Format::Unknown;
}

bool Valid(const Bitmap& b) {
    return b.width > 0 && b.height > 0 && int64_t{b.width} * b.height <= kMaxBitmapPixels &&
           b.pixels.size() == static_cast<size_t>(b.width) * static_cast<size_t>(b.height);
}

}  // namespace

void MarkOpaque(Bitmap& bitmap) {
    uint32_t all = 0xFF000000u;
    for (const uint32_t p : bitmap.pixels) all &= p;
    bitmap.opaque = (all & 0xFF000000u) == 0xFF000000u;
}

bool ReadImageSize(std::string_view bytes, int* width, int* height) {
    int w = 0, h = 0;
    bool ok = false;
    switch (FormatOf(bytes)) {
        case Format::Jpeg: ok = ReadJpegSize(bytes, &w, &h); break;
        case Format::Png: ok = ReadPngSize(bytes, &w, &h); break;
        case Format::Webp: ok = ReadWebpSize(bytes, &w, &h); break;
        case Format::Gif:
        case Format::Bmp: ok = ReadGifBmpSize(bytes, &w, &h); break;
        case Format::Unknown: break;
    }
    if (!ok || w <= 0 || h <= 0) return false;
    *width = w;
    *height = h;
    return true;
}

bool DecodeBitmap(std::string_view bytes, Bitmap* out, int minWidth, int minHeight) {
    return Guarded([&] {
        switch (FormatOf(bytes)) {
            case Format::Jpeg: return ReadJpeg(bytes, out, minWidth, minHeight);
            case Format::Png: return ReadPng(bytes, out);
            case Format::Webp: return ReadWebp(bytes, out);
            case Format::Gif:
            case Format::Bmp: return ReadGifBmp(bytes, out);
            case Format::Unknown: break;
        }
        return false;
    });
}

bool EncodeBitmapPng(const Bitmap& bitmap, std::string* png) {
    return Valid(bitmap) && Guarded([&] { return WritePng(bitmap, std::numeric_limits<size_t>::max(), png); });
}

bool EncodeBitmapJpeg(const Bitmap& bitmap, int quality, std::string* jpeg) {
    if (!Valid(bitmap) || quality < 1 || quality > 100) return false;
    return Guarded([&] { return WriteJpeg(bitmap, quality, jpeg); });
}

bool ConvertToPng(std::string_view bytes, size_t maxBytes, std::string* png) {
    return Guarded([&] {
        Bitmap bitmap;
        return DecodeBitmap(bytes, &bitmap) && WritePng(bitmap, maxBytes, png);
    });
}
