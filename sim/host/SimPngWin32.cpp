// Windows: the simulated host's PNG encoding, with the Windows Imaging Component into a
// memory stream.
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstring>

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
