// Win32: the picture operations on GDI+, each starting GDI+ for its own work and shutting it down
// on every path. Pixels move between GDI+ and the Bitmap through locked bits in the Bitmap's own
// memory, converted by GDI+ to 32-bit ARGB on the way.
#include <objbase.h>
#include <windows.h>
// GDI+ needs the definitions above first.
#include <gdiplus.h>

#include <cstring>
#include <new>
#include <vector>

#include "platform/Guarded.h"
#include "platform/Images.h"
#include "platform/win32/ImageStreams.h"

namespace gp = Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpGraphics;
using Gdiplus::GpImage;
using Gdiplus::Ok;

namespace {
// The quality parameter's identifier, 1d5be4b5-fa4a-452d-9cdd-5db35105e7eb.
constexpr GUID kEncoderQuality = {0x1d5be4b5, 0xfa4a, 0x452d, {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

// GDI+ from start-up (version 1) to shut-down.
class GdiplusSession {
public:
    GdiplusSession() {
        const Gdiplus::GdiplusStartupInput input;
        started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Ok;
    }
    ~GdiplusSession() {
        if (started_) Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool started() const { return started_; }

private:
    ULONG_PTR token_ = 0;
    bool started_ = false;
};

// One GDI+ bitmap, disposed on every path.
class GdiImage {
public:
    GdiImage() = default;
    ~GdiImage() {
        if (bitmap_ != nullptr) gp::GdipDisposeImage(bitmap_);
    }
    GdiImage(const GdiImage&) = delete;
    GdiImage& operator=(const GdiImage&) = delete;
    GpBitmap* bitmap() const { return bitmap_; }
    GpImage* image() const { return bitmap_; }
    GpBitmap** out() { return &bitmap_; }

private:
    GpBitmap* bitmap_ = nullptr;
};

// A graphics context on an image, deleted on every path.
class GdiGraphics {
public:
    GdiGraphics() = default;
    ~GdiGraphics() { reset(); }
    GdiGraphics(const GdiGraphics&) = delete;
    GdiGraphics& operator=(const GdiGraphics&) = delete;
    GpGraphics* get() const { return graphics_; }
    GpGraphics** out() { return &graphics_; }
    void reset() {
        if (graphics_ != nullptr) gp::GdipDeleteGraphics(graphics_);
        graphics_ = nullptr;
    }

private:
    GpGraphics* graphics_ = nullptr;
};

bool Valid(const Bitmap& b) {
    return b.width > 0 && b.height > 0 && int64_t{b.width} * b.height <= kMaxBitmapPixels &&
           b.pixels.size() == static_cast<size_t>(b.width) * static_cast<size_t>(b.height);
}

// The installed encoder whose MIME type is exactly `mime`.
bool FindEncoder(const wchar_t* mime, CLSID* clsid) {
    UINT count = 0, size = 0;
    if (gp::GdipGetImageEncodersSize(&count, &size) != Ok || count == 0 || size == 0) return false;
    std::vector<unsigned char> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (gp::GdipGetImageEncoders(count, size, codecs) != Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType != nullptr && std::wcscmp(codecs[i].MimeType, mime) == 0) {
            *clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

// A GDI+ bitmap over the Bitmap's own pixels (not copied: the Bitmap must outlive it).
bool Wrap(const Bitmap& b, Gdiplus::PixelFormat format, GdiImage* image) {
    auto* scan0 = reinterpret_cast<BYTE*>(const_cast<uint32_t*>(b.pixels.data()));
    return gp::GdipCreateBitmapFromScan0(b.width, b.height, b.width * 4, format, scan0, image->out()) == Ok;
}

// Copies the GDI+ bitmap's pixels into out as 32-bit ARGB.
bool CopyPixels(GpBitmap* source, int width, int height, Bitmap* out) {
    Bitmap bitmap;
    if (!bitmap.Allocate(width, height)) return false;
    const Gdiplus::GpRect all(0, 0, width, height);
    Gdiplus::BitmapData data{};
    data.Width = static_cast<UINT>(width);
    data.Height = static_cast<UINT>(height);
    data.Stride = width * 4;
    data.PixelFormat = PixelFormat32bppARGB;
    data.Scan0 = bitmap.pixels.data();
    if (gp::GdipBitmapLockBits(source, &all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                               PixelFormat32bppARGB, &data) != Ok)
        return false;
    if (gp::GdipBitmapUnlockBits(source, &data) != Ok) return false;
    *out = std::move(bitmap);
    return true;
}

// Saves the image with the encoder of `mime` (and the optional parameters) into a memory stream
// and reads it back within maxBytes.
bool Save(GpImage* image, const wchar_t* mime, const Gdiplus::EncoderParameters* parameters, size_t maxBytes,
          std::string* bytes) {
    CLSID encoder{};
    if (!FindEncoder(mime, &encoder)) return false;
    ComPtr<IStream> stream = EmptyStream();
    return stream && gp::GdipSaveImageToStream(image, stream.get(), &encoder, parameters) == Ok &&
           ReadWholeStream(stream.get(), maxBytes, bytes);
}

// A picture opened from bytes: the stream it reads from and the GDI+ bitmap, with both sides
// > 0. The stream is declared first, so it outlives the bitmap; GDI+ must be started before.
struct OpenedPicture {
    ComPtr<IStream> stream;
    GdiImage image;
    UINT width = 0, height = 0;

    bool Open(std::string_view bytes) {
        if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) return false;
        stream = StreamWithBytes(bytes);
        return stream.get() != nullptr && gp::GdipCreateBitmapFromStream(stream.get(), image.out()) == Ok &&
               gp::GdipGetImageWidth(image.image(), &width) == Ok &&
               gp::GdipGetImageHeight(image.image(), &height) == Ok && width > 0 && height > 0 &&
               width <= 0x7FFFFFFFu && height <= 0x7FFFFFFFu;
    }
};

void MarkOpaque(Bitmap& bitmap) {
    uint32_t all = 0xFF000000u;
    for (const uint32_t p : bitmap.pixels) all &= p;
    bitmap.opaque = (all & 0xFF000000u) == 0xFF000000u;
}

}  // namespace

bool ReadImageSize(std::string_view bytes, int* width, int* height) {
    return Guarded([&] {
        GdiplusSession gdi;
        OpenedPicture picture;
        if (!gdi.started() || !picture.Open(bytes)) return false;
        *width = static_cast<int>(picture.width);
        *height = static_cast<int>(picture.height);
        return true;
    });
}

// GDI+ cannot reduce while decoding, so the size hint is not used.
bool DecodeBitmap(std::string_view bytes, Bitmap* out, int, int) {
    return Guarded([&] {
        GdiplusSession gdi;
        OpenedPicture picture;
        if (!gdi.started() || !picture.Open(bytes)) return false;
        Bitmap bitmap;
        if (!CopyPixels(picture.image.bitmap(), static_cast<int>(picture.width), static_cast<int>(picture.height),
                        &bitmap))
            return false;
        Gdiplus::PixelFormat format = 0;
        if (gp::GdipGetImagePixelFormat(picture.image.image(), &format) == Ok && (format & PixelFormatAlpha) == 0)
            bitmap.opaque = true;
        else
            MarkOpaque(bitmap);
        *out = std::move(bitmap);
        return true;
    });
}

bool DrawScaledOnWhite(Bitmap source, int width, int height, Bitmap* out) {
    if (!Valid(source) || width <= 0 || height <= 0 || int64_t{width} * height > kMaxBitmapPixels) return false;
    return Guarded([&] {
        GdiplusSession gdi;
        if (!gdi.started()) return false;
        GdiImage from, to;
        if (!Wrap(source, PixelFormat32bppARGB, &from) ||
            gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, to.out()) != Ok)
            return false;
        GdiGraphics graphics;
        if (gp::GdipGetImageGraphicsContext(to.image(), graphics.out()) != Ok ||
            gp::GdipGraphicsClear(graphics.get(), 0xFFFFFFFFu) != Ok ||
            gp::GdipSetInterpolationMode(graphics.get(), Gdiplus::InterpolationModeHighQualityBicubic) != Ok ||
            gp::GdipSetPixelOffsetMode(graphics.get(), Gdiplus::PixelOffsetModeHighQuality) != Ok ||
            gp::GdipDrawImageRectI(graphics.get(), from.image(), 0, 0, width, height) != Ok)
            return false;
        graphics.reset();
        Bitmap drawn;
        if (!CopyPixels(to.bitmap(), width, height, &drawn)) return false;
        drawn.opaque = true;
        *out = std::move(drawn);
        return true;
    });
}

bool EncodeBitmapPng(const Bitmap& bitmap, std::string* png) {
    if (!Valid(bitmap)) return false;
    return Guarded([&] {
        GdiplusSession gdi;
        GdiImage image;
        return gdi.started() && Wrap(bitmap, PixelFormat32bppARGB, &image) &&
               Save(image.image(), L"image/png", nullptr, 0xFFFFFFFFu, png);
    });
}

bool EncodeBitmapJpeg(const Bitmap& bitmap, int quality, std::string* jpeg) {
    if (!Valid(bitmap) || quality < 1 || quality > 100) return false;
    return Guarded([&] {
        GdiplusSession gdi;
        GdiImage image;
        // The alpha byte is ignored: 32-bit RGB, as opaque as the 24-bit picture it stands for.
        if (!gdi.started() || !Wrap(bitmap, PixelFormat32bppRGB, &image)) return false;
        LONG value = quality;
        Gdiplus::EncoderParameters parameters{};
        parameters.Count = 1;
        parameters.Parameter[0].Guid = kEncoderQuality;
        parameters.Parameter[0].NumberOfValues = 1;
        parameters.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
        parameters.Parameter[0].Value = &value;
        return Save(image.image(), L"image/jpeg", &parameters, 0xFFFFFFFFu, jpeg);
    });
}
