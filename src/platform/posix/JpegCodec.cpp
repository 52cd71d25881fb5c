// POSIX: JPEG reading and writing with TurboJPEG, reading reduced by the DCT when the caller
// needs less than the full size.
#include <turbojpeg.h>

#include <cstdint>
#include <memory>

#include "platform/posix/ImageCodecs.h"

namespace {
struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TurboHandle = std::unique_ptr<void, HandleCloser>;

struct BufferFreer {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using TurboBuffer = std::unique_ptr<unsigned char, BufferFreer>;

const unsigned char* Data(std::string_view bytes) { return reinterpret_cast<const unsigned char*>(bytes.data()); }

// TurboJPEG counts in unsigned long and int.
bool FitsTurbo(std::string_view bytes) { return !bytes.empty() && bytes.size() <= 0x7FFFFFFFu; }

struct Header {
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
};

bool ReadHeader(tjhandle handle, std::string_view bytes, Header* h) {
    return tjDecompressHeader3(handle, Data(bytes), bytes.size(), &h->width, &h->height, &h->subsampling,
                               &h->colorspace) == 0 &&
           h->width > 0 && h->height > 0;
}

// The smallest of the decoder's reductions (n/8, n ≤ 8) that keeps both sides at least the
// minimum; the full size when none does.
tjscalingfactor PickScale(int width, int height, int minWidth, int minHeight) {
    tjscalingfactor best{1, 1};
    if (minWidth <= 0 && minHeight <= 0) return best;
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    if (factors == nullptr) return best;
    int64_t bestArea = int64_t{width} * height;
    for (int i = 0; i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num > f.denom) continue;
        const int w = TJSCALED(width, f), h = TJSCALED(height, f);
        if (w < minWidth || h < minHeight) continue;
        if (int64_t{w} * h < bestArea) {
            bestArea = int64_t{w} * h;
            best = f;
        }
    }
    return best;
}

// Adobe-style inverted CMYK (what CMYK JPEGs hold) to opaque pixels, in place: the CMYK bytes
// occupy exactly the pixels' memory.
void CmykToArgb(Bitmap& bitmap) {
    auto* p = reinterpret_cast<unsigned char*>(bitmap.pixels.data());
    for (uint32_t& pixel : bitmap.pixels) {
        const unsigned c = p[0], m = p[1], y = p[2], k = p[3];
        const uint32_t r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (y * k + 127) / 255;
        pixel = 0xFF000000u | (r << 16) | (g << 8) | b;
        p += 4;
    }
}
}  // namespace

bool ReadJpegSize(std::string_view bytes, int* width, int* height) {
    if (!FitsTurbo(bytes)) return false;
    TurboHandle handle(tjInitDecompress());
    Header h;
    if (!handle || !ReadHeader(handle.get(), bytes, &h)) return false;
    *width = h.width;
    *height = h.height;
    return true;
}

bool ReadJpeg(std::string_view bytes, Bitmap* out, int minWidth, int minHeight) {
    if (!FitsTurbo(bytes)) return false;
    TurboHandle handle(tjInitDecompress());
    Header h;
    if (!handle || !ReadHeader(handle.get(), bytes, &h)) return false;
    if (int64_t{h.width} * h.height > kMaxBitmapPixels) return false;
    const tjscalingfactor scale = PickScale(h.width, h.height, minWidth, minHeight);
    Bitmap bitmap;
    if (!bitmap.Allocate(TJSCALED(h.width, scale), TJSCALED(h.height, scale))) return false;
    const bool cmyk = h.colorspace == TJCS_CMYK || h.colorspace == TJCS_YCCK;
    // The padding byte of BGRX is always written as 0xFF, so the pixels come out opaque.
    const int format = cmyk ? TJPF_CMYK : TJPF_BGRX;
    // A damaged stream yields a warning and a fully written picture (grey where data was
    // missing), which is accepted as most viewers do; a scan limit bounds hostile files.
    if (tjDecompress2(handle.get(), Data(bytes), bytes.size(), reinterpret_cast<unsigned char*>(bitmap.pixels.data()),
                      bitmap.width, 0, bitmap.height, format, TJFLAG_LIMITSCANS) != 0 &&
        tjGetErrorCode(handle.get()) != TJERR_WARNING)
        return false;
    if (cmyk) CmykToArgb(bitmap);
    bitmap.opaque = true;
    *out = std::move(bitmap);
    return true;
}

bool WriteJpeg(const Bitmap& bitmap, int quality, std::string* jpeg) {
    if (bitmap.width <= 0 || bitmap.height <= 0 ||
        bitmap.pixels.size() != static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height))
        return false;
    TurboHandle handle(tjInitCompress());
    if (!handle) return false;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(handle.get(), reinterpret_cast<const unsigned char*>(bitmap.pixels.data()),
                                   bitmap.width, 0, bitmap.height, TJPF_BGRX, &buffer, &size, TJSAMP_420, quality, 0);
    TurboBuffer owned(buffer);
    if (status != 0 || size == 0) return false;
    jpeg->assign(reinterpret_cast<const char*>(owned.get()), size);
    return true;
}
