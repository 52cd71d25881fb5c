// Decoded pictures and the operations on them: reading a picture's size, decoding it, drawing it
// scaled onto opaque white, and encoding it as PNG or as JPEG, plus turning any picture the
// system can read into PNG. Pictures are decoded once into a Bitmap and reused by later steps.
// Every operation reports failure by its result (false), never by an exception, and holds no
// state: any thread may call any of them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Leaves new elements uninitialised: decoders overwrite every pixel, so zeroing a large
// picture first would only cost time.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using PixelVector = std::vector<uint32_t, UninitialisedAllocator<uint32_t>>;

// A decoded picture: rows top to bottom without padding, each pixel 0xAARRGGBB with straight
// (not premultiplied) alpha, which in a little-endian machine's memory reads B, G, R, A.
struct Bitmap {
    int width = 0;
    int height = 0;
    PixelVector pixels;
    // True when every pixel's alpha is known to be 255 (a JPEG, or the result of drawing on
    // white); false means only that it is not known.
    bool opaque = false;

    // Sizes the picture, pixels left undefined; false when the size is out of bounds or the
    // memory cannot be had.
    bool Allocate(int w, int h);
    // The pixel at (x, y) as 0xAARRGGBB; false outside the picture.
    bool GetPixel(int x, int y, uint32_t* argb) const;
};

// Pictures larger than this many pixels (512 MiB decoded) are refused by every operation.
inline constexpr int64_t kMaxBitmapPixels = int64_t{1} << 27;

// The picture's width and height as its header states them (both > 0); false when the bytes are
// not a picture this system reads.
bool ReadImageSize(std::string_view bytes, int* width, int* height);

// Decodes the picture. A decoder that can reduce the picture cheaply while decoding (JPEG's DCT
// scaling) may return any size from (minWidth, minHeight) up to the full size; with both 0 the
// picture comes at full size.
bool DecodeBitmap(std::string_view bytes, Bitmap* out, int minWidth = 0, int minHeight = 0);

// Draws the picture scaled to width × height with high-quality bicubic filtering onto opaque
// white, so transparent parts come out white; the result is opaque. The source is taken by value
// so that a caller done with it can move it in and let its memory be reused.
bool DrawScaledOnWhite(Bitmap source, int width, int height, Bitmap* out);

// PNG of the picture, alpha kept.
bool EncodeBitmapPng(const Bitmap& bitmap, std::string* png);

// JPEG of the picture at quality 1…100 (4:2:0); alpha is ignored, so draw on white first.
bool EncodeBitmapJpeg(const Bitmap& bitmap, int quality, std::string* jpeg);

// Any picture the system can read, as a PNG of the same size with alpha; the output is at most
// maxBytes long.
bool ConvertToPng(std::string_view bytes, size_t maxBytes, std::string* png);
