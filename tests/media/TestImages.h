// Small pictures for the media tests, written byte by byte here rather than by the codecs under
// test: PNG (stored deflate blocks), BMP, GIF (LZW without compression) and lossless WebP (two
// shades of green). Also a base64 decoder written independently of the encoder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Images.h"
#include "support/Wine.h"

// A bitmap of the given size with every pixel computed by f(x, y) as 0xAARRGGBB.
template <typename F>
Bitmap MakeBitmap(int width, int height, F f) {
    Bitmap b;
    b.width = width;
    b.height = height;
    b.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    bool opaque = true;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t p = f(x, y);
            b.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = p;
            opaque = opaque && (p >> 24) == 0xFF;
        }
    b.opaque = opaque;
    return b;
}

// An 8-bit RGBA PNG (colour type 6), or RGB (type 2) when `alpha` is false.
std::string PngFile(const Bitmap& bitmap, bool alpha);
// A black 1-bit greyscale PNG: a few bytes a row, so a small file can declare a huge picture.
std::string BlackPng1Bit(int width, int height);
// A 24-bit bottom-up BMP; alpha is dropped.
std::string BmpFile(const Bitmap& bitmap);
// A GIF89a of the bitmap's colours (at most 256 distinct, alpha dropped).
std::string GifFile(const Bitmap& bitmap);
// A lossless WebP whose pixels are (alpha 255, red, green0 or green1, blue): `bits` holds one
// choice per pixel, row by row. green0 must be below green1.
std::string WebpLosslessFile(int width, int height, uint8_t red, uint8_t blue, uint8_t green0, uint8_t green1,
                             const std::vector<bool>& bits);

// Decodes standard base64; false for anything malformed.
bool DecodeBase64(const std::string& text, std::string* bytes);

