// Benchmark pictures and the bare PNG decoders of libpng and libspng.
#include "bench/BenchPictures.h"

#include <png.h>
#include <spng.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

namespace {
uint32_t Pack(int r, int g, int b) {
    auto c = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
    return 0xFF000000u | (c(r) << 16) | (c(g) << 8) | c(b);
}

// A cheap per-pixel hash for a texture of ±2 levels.
int Grain(int x, int y) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<int>((h >> 24) % 5) - 2;
}
}  // namespace

Bitmap RenderedPicture(int width, int height, unsigned seed) {
    Bitmap b;
    b.Allocate(width, height);
    b.opaque = true;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool sky = y < height * 2 / 5;
            const int t = sky ? y * 255 / height : (y - height * 2 / 5) * 255 / height;
            b.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                sky ? Pack(120 + t / 3, 170 + t / 4, 235) : Pack(95 + t / 4 + Grain(x, y), 105 + t / 5, 80);
        }
    std::mt19937 rng(seed);
    const int count = width * height / 6000;
    const int reach = std::max(8, width / 10);
    for (int i = 0; i < count; ++i) {
        const int cx = static_cast<int>(rng() % static_cast<unsigned>(width));
        const int cy = static_cast<int>(rng() % static_cast<unsigned>(height));
        int px[3], py[3];
        for (int k = 0; k < 3; ++k) {
            px[k] = cx + static_cast<int>(rng() % static_cast<unsigned>(2 * reach)) - reach;
            py[k] = cy + static_cast<int>(rng() % static_cast<unsigned>(2 * reach)) - reach;
        }
        const int base[3] = {static_cast<int>(rng() % 200) + 30, static_cast<int>(rng() % 200) + 30,
                             static_cast<int>(rng() % 200) + 30};
        const double lx = (static_cast<int>(rng() % 200) - 100) / 4000.0, ly = (static_cast<int>(rng() % 200) - 100) / 4000.0;
        const int area = (px[1] - px[0]) * (py[2] - py[0]) - (px[2] - px[0]) * (py[1] - py[0]);
        if (area == 0) continue;
        const int x0 = std::max(0, std::min({px[0], px[1], px[2]})), x1 = std::min(width - 1, std::max({px[0], px[1], px[2]}));
        const int y0 = std::max(0, std::min({py[0], py[1], py[2]})), y1 = std::min(height - 1, std::max({py[0], py[1], py[2]}));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                int inside = 0;
                for (int k = 0; k < 3; ++k) {
                    const int a = k, c = (k + 1) % 3;
                    const int e = (px[c] - px[a]) * (y - py[a]) - (py[c] - py[a]) * (x - px[a]);
                    inside += (area > 0 ? e >= 0 : e <= 0);
                }
                if (inside != 3) continue;
                const double light = 1.0 + lx * (x - cx) + ly * (y - cy);
                const int g = Grain(x, y);
                b.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                    Pack(static_cast<int>(base[0] * light) + g, static_cast<int>(base[1] * light) + g,
                         static_cast<int>(base[2] * light) + g);
            }
    }
    return b;
}

std::string DefaultPng(const Bitmap& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width);
    image.height = static_cast<png_uint_32>(picture.height);
    // 24-bit, as captures of an opaque window are.
    image.format = PNG_FORMAT_BGR;
    std::string bgr;
    bgr.reserve(picture.pixels.size() * 3);
    for (const uint32_t p : picture.pixels) {
        bgr += static_cast<char>(p & 0xFF);
        bgr += static_cast<char>((p >> 8) & 0xFF);
        bgr += static_cast<char>((p >> 16) & 0xFF);
    }
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    std::string png(size, '\0');
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, bgr.data(), 0, nullptr)) return {};
    png.resize(size);
    return png;
}

bool BareDecodeLibpng(const std::string& png, std::string* rgb, int* width, int* height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
    image.format = PNG_FORMAT_RGB;
    rgb->resize(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr) != 0;
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    png_image_free(&image);
    return ok;
}

bool BareDecodeSpng(const std::string& png, std::string* rgb, int* width, int* height) {
    std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(0), spng_ctx_free);
    spng_ihdr ihdr{};
    size_t size = 0;
    if (!ctx || spng_set_png_buffer(ctx.get(), png.data(), png.size()) != 0 || spng_get_ihdr(ctx.get(), &ihdr) != 0 ||
        spng_decoded_image_size(ctx.get(), SPNG_FMT_RGB8, &size) != 0)
        return false;
    rgb->resize(size);
    *width = static_cast<int>(ihdr.width);
    *height = static_cast<int>(ihdr.height);
    return spng_decode_image(ctx.get(), rgb->data(), size, SPNG_FMT_RGB8, 0) == 0;
}
