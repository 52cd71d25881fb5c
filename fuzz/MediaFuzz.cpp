// Fuzz target: arbitrary bytes through content sniffing, the image conversions and the blank
// test of a capture's picture. None may crash, leak or throw; failures must leave their outputs
// as documented (bytes unchanged, sizes 0, JPEG empty), and successes must produce what they
// promise.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "handlers/views/Picture.h"
#include "platform/Images.h"
#include "store/Images.h"
#include "store/MediaTypes.h"

namespace {
void Check(bool condition) {
    if (!condition) std::abort();
}

bool StartsPngOrJpeg(std::string_view b) {
    return b.size() >= 2 && ((b[0] == '\x89' && b[1] == 'P') || (b[0] == '\xFF' && b[1] == '\xD8'));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const std::string_view type = SniffContentType(bytes);
        Check(type.empty() || ExtensionForContentType(type) != ".bin");

        // Decoding, converting and scaling take time in proportion to the picture's area, which
        // a few header bytes can make as large as the decoders allow. Past this size (read from
        // the header) only the probe of the platform runs, so the time goes to variety instead.
        int declaredWidth = 0, declaredHeight = 0;
        if (ReadImageSize(bytes, &declaredWidth, &declaredHeight) &&
            int64_t{declaredWidth} * declaredHeight > (int64_t{1} << 22))
            return 0;

        int width = -1, height = -1;
        if (ImagePixelSize(bytes, &width, &height))
            Check(width > 0 && height > 0);
        else
            Check(width == 0 && height == 0);

        std::string copy(bytes);
        if (EnsurePngOrJpeg(&copy)) {
            Check(StartsPngOrJpeg(bytes) ? copy == bytes : SniffContentType(copy) == "image/png");
        } else {
            Check(copy == bytes);
        }

        // A small limit keeps large pictures quick to shrink; the quality comes from the input.
        const int quality = size > 0 ? data[size - 1] - 20 : 50;
        std::string jpeg = "left over";
        if (EncodeJpeg(bytes, 64, quality, &jpeg)) {
            Check(SniffContentType(jpeg) == "image/jpeg");
            int w = 0, h = 0;
            Check(ImagePixelSize(jpeg, &w, &h) && w <= 64 && h <= 64);
        } else {
            Check(jpeg.empty());
        }

        // The blank test reads any decoded picture; one colour everywhere is blank.
        Bitmap bitmap;
        if (DecodeBitmap(bytes, &bitmap)) {
            Check(bitmap.width > 0 && bitmap.height > 0 &&
                  bitmap.pixels.size() == static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height));
            const bool content = OvraViews::HasImageContent(bitmap);
            const uint32_t first = bitmap.pixels.front();
            bool uniform = true;
            for (const uint32_t pixel : bitmap.pixels) uniform = uniform && pixel == first;
            Check(!(uniform && content));
        }
    } catch (...) {
        std::abort();
    }
    return 0;
}
