// POSIX: GIF (first frame) and BMP reading with stb_image, compiled here with only those two
// readers so that no other format's parser is reachable from outside input.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS (1 << 20)
#include <stb/stb_image.h>

#include <climits>
#include <cstring>
#include <memory>

#include "platform/posix/ImageCodecs.h"

namespace {
struct StbFreer {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

const stbi_uc* Data(std::string_view bytes) { return reinterpret_cast<const stbi_uc*>(bytes.data()); }

bool FitsStb(std::string_view bytes) { return !bytes.empty() && bytes.size() <= INT_MAX; }

uint32_t Little(std::string_view b, size_t at, int count) {
    uint32_t v = 0;
    for (int i = count - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}

// False for an uncompressed BMP shorter than its header says: stb_image would fill the missing
// rows with black rather than refuse the file.
bool BmpComplete(std::string_view b) {
    if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return true;  // not a BMP, or stb refuses it
    const uint64_t offset = Little(b, 10, 4), header = Little(b, 14, 4);
    uint64_t width = 0, height = 0, bits = 0, compression = 0;
    if (header == 12) {
        width = Little(b, 18, 2);
        height = Little(b, 20, 2);
        bits = Little(b, 24, 2);
    } else if (header >= 40 && b.size() >= 34) {
        width = Little(b, 18, 4);
        const auto signedHeight = static_cast<int32_t>(Little(b, 22, 4));
        height = static_cast<uint64_t>(signedHeight < 0 ? -static_cast<int64_t>(signedHeight) : signedHeight);
        bits = Little(b, 28, 2);
        compression = Little(b, 30, 4);
    } else {
        return true;
    }
    if (width > (1u << 20) || height > (1u << 20)) return false;
    // Run-length and embedded JPEG or PNG data have no fixed size.
    if (compression != 0 && compression != 3 && compression != 6) return true;
    const uint64_t stride = (width * bits + 31) / 32 * 4;
    return offset + stride * height <= b.size();
}
}  // namespace

bool ReadGifBmpSize(std::string_view bytes, int* width, int* height) {
    int w = 0, h = 0, channels = 0;
    if (!FitsStb(bytes) || !BmpComplete(bytes) ||
        !stbi_info_from_memory(Data(bytes), static_cast<int>(bytes.size()), &w, &h, &channels) || w <= 0 || h <= 0)
        return false;
    *width = w;
    *height = h;
    return true;
}

bool ReadGifBmp(std::string_view bytes, Bitmap* out) {
    int w = 0, h = 0;
    if (!ReadGifBmpSize(bytes, &w, &h) || int64_t{w} * h > kMaxBitmapPixels) return false;
    int channels = 0;
    std::unique_ptr<stbi_uc, StbFreer> rgba(
        stbi_load_from_memory(Data(bytes), static_cast<int>(bytes.size()), &w, &h, &channels, 4));
    Bitmap bitmap;
    if (!rgba || !bitmap.Allocate(w, h)) return false;
    // R, G, B, A bytes to 0xAARRGGBB.
    const stbi_uc* p = rgba.get();
    for (uint32_t& pixel : bitmap.pixels) {
        pixel = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
        p += 4;
    }
    MarkOpaque(bitmap);
    *out = std::move(bitmap);
    return true;
}
