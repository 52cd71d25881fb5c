// Image conversions built on the platform's picture operations: the PNG-or-JPEG guarantee,
// normalising, the pixel-size probe and the scaling JPEG re-encoder.
#include "store/Images.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

#include "platform/Guarded.h"
#include "platform/Images.h"
#include "store/MediaTypes.h"

namespace {

// WebP and unrecognised content are converted before anything else reads them.
bool NeedsConversion(std::string_view bytes) {
    const std::string_view type = SniffContentType(bytes);
    return type.empty() || type == "image/webp";
}

bool WithinInputBound(std::string_view bytes) { return !bytes.empty() && bytes.size() <= kMaxImageInputBytes; }

// The size after limiting the longer side to maxSide (0: no limit), never enlarged.
void ScaledSize(int width, int height, int maxSide, int* newWidth, int* newHeight) {
    const int longer = std::max(width, height);
    const double scale = maxSide != 0 && longer > maxSide ? static_cast<double>(maxSide) / longer : 1.0;
    *newWidth = static_cast<int>(std::max(1L, std::lround(width * scale)));
    *newHeight = static_cast<int>(std::max(1L, std::lround(height * scale)));
}

bool EnsureImpl(std::string* bytes) {
    if (bytes->size() >= 2) {
        const auto b0 = static_cast<unsigned char>((*bytes)[0]), b1 = static_cast<unsigned char>((*bytes)[1]);
        if ((b0 == 0x89 && b1 == 0x50) || (b0 == 0xFF && b1 == 0xD8)) return true;
    }
    if (!WithinInputBound(*bytes)) return false;
    std::string png;
    if (!ConvertToPng(*bytes, kMaxPngOutputBytes, &png) || png.empty() || png.size() > kMaxPngOutputBytes)
        return false;
    *bytes = std::move(png);
    return true;
}

// The bytes as NormalizeImage would give them, without copying when nothing is converted:
// `storage` holds a conversion when there is one. Empty on failure.
std::string_view Normalised(std::string_view bytes, std::string* storage) {
    if (!NeedsConversion(bytes)) return bytes;
    storage->assign(bytes);
    if (!EnsureImpl(storage)) storage->clear();
    return *storage;
}

bool PixelSizeImpl(std::string_view bytes, int* width, int* height) {
    std::string storage;
    const std::string_view source = Normalised(bytes, &storage);
    int w = 0, h = 0;
    if (!WithinInputBound(source) || !ReadImageSize(source, &w, &h) || w <= 0 || h <= 0) return false;
    *width = w;
    *height = h;
    return true;
}

bool EncodeJpegImpl(std::string_view bytes, int maxSide, int quality, std::string* out) {
    std::string storage;
    const std::string_view source = Normalised(bytes, &storage);
    int width = 0, height = 0;
    if (!WithinInputBound(source) || !ReadImageSize(source, &width, &height) || width <= 0 || height <= 0)
        return false;
    int newWidth = 0, newHeight = 0;
    ScaledSize(width, height, maxSide, &newWidth, &newHeight);

    // The decoder may hand back a reduced picture that is still at least the new size.
    Bitmap picture;
    if (!DecodeBitmap(source, &picture, newWidth, newHeight)) return false;
    if (picture.width != newWidth || picture.height != newHeight || !picture.opaque) {
        Bitmap drawn;
        if (!DrawScaledOnWhite(std::move(picture), newWidth, newHeight, &drawn)) return false;
        picture = std::move(drawn);
    }
    std::string jpeg;
    if (!EncodeBitmapJpeg(picture, std::clamp(quality, 1, 100), &jpeg) || jpeg.empty() ||
        jpeg.size() > kMaxJpegOutputBytes)
        return false;
    *out = std::move(jpeg);
    return true;
}
}  // namespace

bool EnsurePngOrJpeg(std::string* bytes) {
    return Guarded([&] { return EnsureImpl(bytes); });
}

std::string NormalizeImage(std::string_view bytes) {
    std::string copy;
    Guarded([&] {
        copy.assign(bytes);
        if (NeedsConversion(copy) && !EnsureImpl(&copy)) copy.clear();
        return true;
    });
    return copy;
}

bool ImagePixelSize(std::string_view bytes, int* width, int* height) {
    *width = 0;
    *height = 0;
    return Guarded([&] { return PixelSizeImpl(bytes, width, height); });
}

bool EncodeJpeg(std::string_view bytes, int maxSide, int quality, std::string* out) {
    out->clear();
    return Guarded([&] { return EncodeJpegImpl(bytes, maxSide, quality, out); });
}
