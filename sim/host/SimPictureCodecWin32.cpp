// Windows: the simulated host's picture codec, with the Windows Imaging Component: PNG encoded
// into a memory stream, PNG and JPEG decoded from memory.
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstring>
#include <new>

#include "sim/host/SimPicture.h"

namespace {
// Releases a COM interface on every path.
template <typename T>
class Com {
public:
    Com() = default;
    ~Com() {
        if (p_) p_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** out() { return &p_; }

private:
    T* p_ = nullptr;
};

// COM for this thread for as long as the object lives, when it was not already there.
class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    // A thread already in another apartment mode can still use COM.
    bool Usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

class GlobalLockOwner {
public:
    explicit GlobalLockOwner(HGLOBAL memory) : memory_(memory), data_(GlobalLock(memory)) {}
    ~GlobalLockOwner() {
        if (data_) GlobalUnlock(memory_);
    }
    GlobalLockOwner(const GlobalLockOwner&) = delete;
    GlobalLockOwner& operator=(const GlobalLockOwner&) = delete;
    const uint8_t* data() const { return static_cast<const uint8_t*>(data_); }

private:
    HGLOBAL memory_;
    void* data_;
};
}  // namespace

bool EncodePng(const SimPicture& picture, std::vector<uint8_t>* png) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.rgb.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 3)
        return false;
    const ComApartment apartment;
    if (!apartment.Usable()) return false;
    Com<IWICImagingFactory> factory;
    Com<IStream> stream;
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> frame;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.out()))) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.out())) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out())) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.out(), nullptr)) || FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(static_cast<UINT>(picture.width), static_cast<UINT>(picture.height))))
        return false;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) return false;
    // WIC takes blue first; rows are written one at a time.
    const size_t stride = static_cast<size_t>(picture.width) * 3;
    std::vector<uint8_t> row(stride);
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* source = &picture.rgb[static_cast<size_t>(y) * stride];
        for (size_t i = 0; i < stride; i += 3) row[i] = source[i + 2], row[i + 1] = source[i + 1], row[i + 2] = source[i];
        if (FAILED(frame->WritePixels(1, static_cast<UINT>(stride), static_cast<UINT>(stride), row.data())))
            return false;
    }
    if (FAILED(frame->Commit()) || FAILED(encoder->Commit())) return false;
    HGLOBAL memory = nullptr;
    STATSTG stat{};
    if (FAILED(GetHGlobalFromStream(stream.get(), &memory)) || FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return false;
    const size_t size = static_cast<size_t>(stat.cbSize.QuadPart);
    const GlobalLockOwner locked(memory);
    if (locked.data() == nullptr || size == 0) return false;
    png->assign(locked.data(), locked.data() + size);
    return true;
}

bool DecodePicture(const std::vector<uint8_t>& bytes, SimPicture* picture) {
    if ((!IsPngSignature(bytes) && !IsJpegSignature(bytes)) || bytes.size() > UINT32_MAX) return false;
    const ComApartment apartment;
    if (!apartment.Usable()) return false;
    Com<IWICImagingFactory> factory;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    Com<IWICFormatConverter> converter;
    // Premultiplied alpha, so that laying a pixel on white is one addition.
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.out()))) ||
        FAILED(factory->CreateStream(stream.out())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()))) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.out())) ||
        FAILED(decoder->GetFrame(0, frame.out())) || FAILED(factory->CreateFormatConverter(converter.out())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom)))
        return false;
    UINT width = 0, height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 || width > INT32_MAX ||
        height > INT32_MAX || uint64_t{width} * height > kMaxDecodedPixels)
        return false;
    SimPicture decoded;
    std::vector<uint8_t> bgra;
    try {
        decoded.Allocate(static_cast<int>(width), static_cast<int>(height));
        bgra.resize(size_t{width} * height * 4);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(bgra.size()), bgra.data()))) return false;
    // Transparent parts are laid on white, as on paper.
    for (size_t i = 0, o = 0; i < bgra.size(); i += 4, o += 3) {
        const uint8_t clear = static_cast<uint8_t>(255 - bgra[i + 3]);
        decoded.rgb[o] = static_cast<uint8_t>(bgra[i + 2] + clear);
        decoded.rgb[o + 1] = static_cast<uint8_t>(bgra[i + 1] + clear);
        decoded.rgb[o + 2] = static_cast<uint8_t>(bgra[i] + clear);
    }
    *picture = std::move(decoded);
    return true;
}
