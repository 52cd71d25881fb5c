// POSIX: the simulated host's picture codec. PNG with libpng's simplified interface (which keeps
// libpng's long jumps inside libpng), JPEG with TurboJPEG.
#include <png.h>
#include <turbojpeg.h>

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

class JpegDecompressor {
public:
    JpegDecompressor() : handle_(tjInitDecompress()) {}
    ~JpegDecompressor() {
        if (handle_ != nullptr) tjDestroy(handle_);
    }
    JpegDecompressor(const JpegDecompressor&) = delete;
    JpegDecompressor& operator=(const JpegDecompressor&) = delete;
    tjhandle get() const { return handle_; }

private:
    tjhandle handle_;
};

bool SizeAccepted(uint64_t width, uint64_t height) {
    return width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX &&
           width * height <= kMaxDecodedPixels;
}

bool DecodePng(const std::vector<uint8_t>& bytes, SimPicture* picture) {
    PngImage image;
    if (png_image_begin_read_from_memory(&image.image, bytes.data(), bytes.size()) == 0 ||
        !SizeAccepted(image.image.width, image.image.height))
        return false;
    image.image.format = PNG_FORMAT_RGB;
    SimPicture decoded;
    try {
        decoded.Allocate(static_cast<int>(image.image.width), static_cast<int>(image.image.height));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Transparent parts are laid on white, as on paper.
    const png_color white{255, 255, 255};
    if (png_image_finish_read(&image.image, &white, decoded.rgb.data(), 0, nullptr) == 0) return false;
    *picture = std::move(decoded);
    return true;
}

bool DecodeJpeg(const std::vector<uint8_t>& bytes, SimPicture* picture) {
    const JpegDecompressor jpeg;
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (jpeg.get() == nullptr ||
        tjDecompressHeader3(jpeg.get(), bytes.data(), bytes.size(), &width, &height, &subsampling, &colourspace) != 0 ||
        width <= 0 || height <= 0 || !SizeAccepted(static_cast<uint64_t>(width), static_cast<uint64_t>(height)))
        return false;
    SimPicture decoded;
    try {
        decoded.Allocate(width, height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (tjDecompress2(jpeg.get(), bytes.data(), bytes.size(), decoded.rgb.data(), width, 0, height, TJPF_RGB, 0) != 0)
        return false;
    *picture = std::move(decoded);
    return true;
}
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

bool DecodePicture(const std::vector<uint8_t>& bytes, SimPicture* picture) {
    if (IsPngSignature(bytes)) return DecodePng(bytes, picture);
    if (IsJpegSignature(bytes)) return DecodeJpeg(bytes, picture);
    return false;
}
