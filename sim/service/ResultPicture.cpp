// The simulated render: decoding with TurboJPEG and libpng, the grade and frame, PNG encoding.
#include "sim/service/ResultPicture.h"

#include <png.h>
#include <turbojpeg.h>

#include <algorithm>
#include <memory>

namespace {
constexpr int kLargestSide = 8192;
// Results are scaled down by a whole factor until they fit this side.
constexpr int kLargestResultSide = 2048;

struct TurboJpegFree {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TurboJpegPtr = std::unique_ptr<void, TurboJpegFree>;

// Frees the simplified libpng reader's or writer's state on every path.
class PngImage {
public:
    PngImage() {
        image_.version = PNG_IMAGE_VERSION;
        image_.opaque = nullptr;
    }
    ~PngImage() { png_image_free(&image_); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;
    png_image* get() { return &image_; }

private:
    png_image image_{};
};

bool DecodeJpeg(std::string_view bytes, RgbPicture* picture) {
    const TurboJpegPtr handle(tjInitDecompress());
    if (!handle) return false;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto size = static_cast<unsigned long>(bytes.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling, &colourspace) != 0) return false;
    if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) return false;
    picture->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
    if (tjDecompress2(handle.get(), data, size, picture->pixels.data(), width, 0, height, TJPF_RGB,
                      TJFLAG_ACCURATEDCT) != 0)
        return false;
    picture->width = width;
    picture->height = height;
    return true;
}

bool DecodePng(std::string_view bytes, RgbPicture* picture) {
    PngImage image;
    if (png_image_begin_read_from_memory(image.get(), bytes.data(), bytes.size()) == 0) return false;
    const int width = static_cast<int>(image.get()->width);
    const int height = static_cast<int>(image.get()->height);
    if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) return false;
    image.get()->format = PNG_FORMAT_RGB;
    picture->pixels.assign(PNG_IMAGE_SIZE(*image.get()), 0);
    // Transparent parts are composed over white.
    png_color white{255, 255, 255};
    if (png_image_finish_read(image.get(), &white, picture->pixels.data(), 0, nullptr) == 0) return false;
    picture->width = width;
    picture->height = height;
    return true;
}

// Averages blocks of factor × factor pixels.
RgbPicture Shrink(const RgbPicture& source, int factor) {
    RgbPicture result;
    result.width = source.width / factor;
    result.height = source.height / factor;
    result.pixels.resize(static_cast<size_t>(result.width) * static_cast<size_t>(result.height) * 3);
    for (int y = 0; y < result.height; ++y)
        for (int x = 0; x < result.width; ++x)
            for (int c = 0; c < 3; ++c) {
                unsigned sum = 0;
                for (int dy = 0; dy < factor; ++dy)
                    for (int dx = 0; dx < factor; ++dx)
                        sum += source.pixels[(static_cast<size_t>(y * factor + dy) * source.width + x * factor + dx) * 3 + c];
                result.pixels[(static_cast<size_t>(y) * result.width + x) * 3 + c] =
                    static_cast<uint8_t>(sum / static_cast<unsigned>(factor * factor));
            }
    return result;
}

uint8_t Posterise(int value) {
    const int clamped = std::clamp(value, 0, 255);
    return static_cast<uint8_t>((clamped * 5 + 127) / 255 * 51);
}

// Warm grade, six levels a channel, and a dark frame with a light inner line.
void GradeAndFrame(RgbPicture& picture) {
    for (size_t i = 0; i < picture.pixels.size(); i += 3) {
        const int r = picture.pixels[i], g = picture.pixels[i + 1], b = picture.pixels[i + 2];
        picture.pixels[i] = Posterise(r * 108 / 100 + 14);
        picture.pixels[i + 1] = Posterise(g + 4);
        picture.pixels[i + 2] = Posterise(b * 82 / 100);
    }
    const int border = std::max(4, std::min(picture.width, picture.height) / 25);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const int edge = std::min({x, y, picture.width - 1 - x, picture.height - 1 - y});
            if (edge >= border + 2) continue;
            uint8_t* pixel = &picture.pixels[(static_cast<size_t>(y) * picture.width + x) * 3];
            const bool line = edge >= border;
            pixel[0] = line ? 236 : 40;
            pixel[1] = line ? 226 : 36;
            pixel[2] = line ? 208 : 32;
        }
}

// A sky over a ground with a sun, their colours taken from the digest of the upload.
RgbPicture Landscape(uint64_t hash) {
    auto part = [&](int shift) { return static_cast<int>((hash >> shift) & 0xFF); };
    RgbPicture picture;
    picture.width = 640;
    picture.height = 400;
    picture.pixels.resize(640 * 400 * 3);
    const int horizon = 180 + part(0) % 100;
    const int sunX = 80 + part(8) * 480 / 255, sunY = 40 + part(16) % 100;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            uint8_t* pixel = &picture.pixels[(static_cast<size_t>(y) * picture.width + x) * 3];
            const int dx = x - sunX, dy = y - sunY;
            if (dx * dx + dy * dy < 900) {
                pixel[0] = 250, pixel[1] = 220, pixel[2] = 120;
            } else if (y < horizon) {
                pixel[0] = static_cast<uint8_t>(part(24) / 2 + y * 100 / horizon);
                pixel[1] = static_cast<uint8_t>(part(32) / 2 + y * 80 / horizon);
                pixel[2] = static_cast<uint8_t>(155 + part(40) / 3);
            } else {
                pixel[0] = static_cast<uint8_t>(part(48) / 2 + 30);
                pixel[1] = static_cast<uint8_t>(part(56) / 2 + 70 + (x / 40 % 2) * 20);
                pixel[2] = static_cast<uint8_t>(40);
            }
        }
    return picture;
}

void AppendBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}
}  // namespace

bool DecodePicture(std::string_view bytes, RgbPicture* picture) {
    static constexpr unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xD8 && static_cast<unsigned char>(bytes[2]) == 0xFF)
        return DecodeJpeg(bytes, picture);
    if (bytes.size() >= 8 && std::equal(kPng, kPng + 8, reinterpret_cast<const unsigned char*>(bytes.data())))
        return DecodePng(bytes, picture);
    return false;
}

std::string EncodePng(const RgbPicture& picture) {
    PngImage image;
    image.get()->width = static_cast<png_uint_32>(picture.width);
    image.get()->height = static_cast<png_uint_32>(picture.height);
    image.get()->format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (png_image_write_to_memory(image.get(), nullptr, &size, 0, picture.pixels.data(), 0, nullptr) == 0) return {};
    std::string png(size, '\0');
    if (png_image_write_to_memory(image.get(), png.data(), &size, 0, picture.pixels.data(), 0, nullptr) == 0) return {};
    png.resize(size);
    return png;
}

uint64_t UploadDigest(std::string_view upload) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : upload) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string MakeResultPicture(std::string_view upload) {
    RgbPicture picture;
    if (!DecodePicture(upload, &picture)) return MakeGeneratedPicture(UploadDigest(upload));
    const int factor = (std::max(picture.width, picture.height) + kLargestResultSide - 1) / kLargestResultSide;
    if (factor > 1) picture = Shrink(picture, factor);
    GradeAndFrame(picture);
    return EncodePng(picture);
}

std::string MakeGeneratedPicture(uint64_t digest) {
    RgbPicture picture = Landscape(digest);
    GradeAndFrame(picture);
    return EncodePng(picture);
}

std::string VideoHolding(std::string_view poster) {
    std::string file;
    AppendBigEndian(file, 24);
    file += "ftypisom";
    AppendBigEndian(file, 0x200);
    file += "isommp41";
    AppendBigEndian(file, static_cast<uint32_t>(8 + poster.size()));
    file += "free";
    file += poster;
    return file;
}
