// POSIX: the simulated host's PNG encoding, with libpng's simplified interface (which keeps
// libpng's long jumps inside libpng).
#include <png.h>

#include <memory>
#include <new>

#include "sim/host/SimPicture.h"

namespace {
struct PngImage {
    png_image image{};
    PngImage() { image.version = PNG_IMAGE_VERSION; }
    ~PngImage() { png_image_free(&image); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;
};
}  // namespace

bool EncodePng(const SimPicture& picture, std::vector<uint8_t>* png) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.rgb.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 3)
        return false;
    PngImage image;
    image.image.width = static_cast<png_uint_32>(picture.width);
    image.image.height = static_cast<png_uint_32>(picture.height);
    image.image.format = PNG_FORMAT_RGB;
    image.image.flags = PNG_IMAGE_FLAG_FAST;
    // The worst case is reserved but not touched, so only what is written takes memory.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image.image);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
    if (!buffer) return false;
    if (png_image_write_to_memory(&image.image, buffer.get(), &size, 0, picture.rgb.data(), 0, nullptr) == 0 ||
        size == 0)
        return false;
    png->assign(buffer.get(), buffer.get() + size);
    return true;
}
