// Bitmap sizing and pixel reads, common to both systems.
#include "platform/Images.h"


bool Bitmap::Allocate(int w, int h) {
    if (w <= 0 || h <= 0 || int64_t{w} * h > kMaxBitmapPixels) return false;
    try {
        pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    } catch (const std::bad_alloc&) {
        pixels = PixelVector();
        return false;
    }
    width = w;
    height = h;
    return true;
}

bool Bitmap::GetPixel(int x, int y, uint32_t* argb) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    const size_t index = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
    if (index >= pixels.size()) return false;
    *argb = pixels[index];
    return true;
}
