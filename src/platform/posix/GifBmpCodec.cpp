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
}  // namespace

bool ReadGifBmpSize(std::string_view bytes, int* width, int* height) {
    int w = 0, h = 0, channels = 0;
    if (!FitsStb(bytes) || !stbi_info_from_memory(Data(bytes), static_cast<int>(bytes.size()), &w, &h, &channels) ||
        w <= 0 || h <= 0)
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
