// POSIX: PNG reading and writing with libpng's simplified interface, which reads every PNG
// colour type, bit depth and interlacing into 8-bit BGRA and keeps libpng's error handling
// (its long jumps) inside libpng. libpng decodes this project's rendered pictures about as
// fast as libspng (both are bound by zlib's inflate) and writes BGRA without a swizzle.
#include <png.h>

#include <algorithm>
#include <memory>

#include "platform/posix/ImageCodecs.h"

namespace {
// A png_image whose libpng state is freed on every path.
struct PngImage {
    png_image image{};
    PngImage() { image.version = PNG_IMAGE_VERSION; }
    ~PngImage() { png_image_free(&image); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;
};

bool Begin(std::string_view bytes, PngImage* png) {
    return !bytes.empty() && png_image_begin_read_from_memory(&png->image, bytes.data(), bytes.size()) != 0 &&
           png->image.width > 0 && png->image.height > 0 && png->image.width <= 0x7FFFFFFFu &&
           png->image.height <= 0x7FFFFFFFu;
}
}  // namespace

bool ReadPngSize(std::string_view bytes, int* width, int* height) {
    PngImage png;
    if (!Begin(bytes, &png)) return false;
    *width = static_cast<int>(png.image.width);
    *height = static_cast<int>(png.image.height);
    return true;
}

bool ReadPng(std::string_view bytes, Bitmap* out) {
    PngImage png;
    if (!Begin(bytes, &png)) return false;
    const bool hasAlpha = (png.image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    Bitmap bitmap;
    if (!bitmap.Allocate(static_cast<int>(png.image.width), static_cast<int>(png.image.height))) return false;
    png.image.format = PNG_FORMAT_BGRA;
    if (png_image_finish_read(&png.image, nullptr, bitmap.pixels.data(), 0, nullptr) == 0) return false;
    // Without an alpha channel or a transparent colour, libpng fills alpha with 255.
    bitmap.opaque = !hasAlpha;
    *out = std::move(bitmap);
    return true;
}

bool WritePng(const Bitmap& bitmap, size_t maxBytes, std::string* out) {
    if (bitmap.width <= 0 || bitmap.height <= 0 ||
        bitmap.pixels.size() != static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height))
        return false;
    PngImage png;
    png.image.width = static_cast<png_uint_32>(bitmap.width);
    png.image.height = static_cast<png_uint_32>(bitmap.height);
    png.image.format = PNG_FORMAT_BGRA;
    // Quick compression: these files are read back, not kept.
    png.image.flags = PNG_IMAGE_FLAG_FAST;
    // The worst case is reserved but not touched, so only what is written takes memory.
    png_alloc_size_t size = std::min<png_alloc_size_t>(maxBytes, PNG_IMAGE_PNG_SIZE_MAX(png.image));
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (!buffer) return false;
    if (png_image_write_to_memory(&png.image, buffer.get(), &size, 0, bitmap.pixels.data(), 0, nullptr) == 0 ||
        size == 0)
        return false;
    out->assign(buffer.get(), size);
    return true;
}
