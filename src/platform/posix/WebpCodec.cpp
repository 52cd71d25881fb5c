// POSIX: WebP reading with libwebp; an animation gives its first frame, composed on its canvas.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

#include "platform/posix/ImageCodecs.h"

namespace {
struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

const uint8_t* Data(std::string_view bytes) { return reinterpret_cast<const uint8_t*>(bytes.data()); }

bool Features(std::string_view bytes, WebPBitstreamFeatures* features) {
    return !bytes.empty() && WebPGetFeatures(Data(bytes), bytes.size(), features) == VP8_STATUS_OK &&
           features->width > 0 && features->height > 0;
}

bool ReadFirstFrame(std::string_view bytes, Bitmap* bitmap) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return false;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData data{Data(bytes), bytes.size()};
    std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info)) return false;
    if (static_cast<int>(info.canvas_width) != bitmap->width || static_cast<int>(info.canvas_height) != bitmap->height)
        return false;
    uint8_t* frame = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp) || frame == nullptr) return false;
    std::memcpy(bitmap->pixels.data(), frame, bitmap->pixels.size() * 4);
    return true;
}
}  // namespace

bool ReadWebpSize(std::string_view bytes, int* width, int* height) {
    WebPBitstreamFeatures features;
    if (!Features(bytes, &features)) return false;
    *width = features.width;
    *height = features.height;
    return true;
}

bool ReadWebp(std::string_view bytes, Bitmap* out) {
    WebPBitstreamFeatures features;
    if (!Features(bytes, &features)) return false;
    Bitmap bitmap;
    if (!bitmap.Allocate(features.width, features.height)) return false;
    if (features.has_animation) {
        if (!ReadFirstFrame(bytes, &bitmap)) return false;
    } else {
        const size_t size = bitmap.pixels.size() * 4;
        if (WebPDecodeBGRAInto(Data(bytes), bytes.size(), reinterpret_cast<uint8_t*>(bitmap.pixels.data()), size,
                               bitmap.width * 4) == nullptr)
            return false;
    }
    if (features.has_alpha)
        MarkOpaque(bitmap);
    else
        bitmap.opaque = true;
    *out = std::move(bitmap);
    return true;
}
