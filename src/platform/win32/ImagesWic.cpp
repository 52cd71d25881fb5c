// Win32: any picture the Windows Imaging Component reads, as a 32-bit BGRA PNG of the same size.
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include "platform/Images.h"
#include "platform/win32/ImageStreams.h"
#include "platform/win32/Owners.h"

bool ConvertToPng(std::string_view bytes, size_t maxBytes, std::string* png) {
    if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) return false;
    // The apartment is declared first so that every interface below is released before COM is
    // uninitialised. A thread already in another apartment keeps it.
    ComApartment com(COINIT_MULTITHREADED);
    if (!com.usable()) return false;

    ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  factory.outVoid())))
        return false;
    ComPtr<IStream> input = StreamWithBytes(bytes);
    if (!input) return false;

    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    if (FAILED(factory->CreateDecoderFromStream(input.get(), nullptr, WICDecodeMetadataCacheOnLoad, decoder.out())) ||
        FAILED(decoder->GetFrame(0, frame.out())) || FAILED(frame->GetSize(&width, &height)) || width == 0 ||
        height == 0)
        return false;
    // The size the file declares is checked before a pixel is decoded: a small file can claim
    // a picture far larger than memory.
    if (int64_t{width} * height > kMaxBitmapPixels) return false;

    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.out())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return false;

    ComPtr<IStream> output = EmptyStream();
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> target;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (!output || FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out())) ||
        FAILED(encoder->Initialize(output.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(target.out(), nullptr)) || FAILED(target->Initialize(nullptr)) ||
        FAILED(target->SetSize(width, height)) || FAILED(target->SetPixelFormat(&format)) ||
        FAILED(target->WriteSource(converter.get(), nullptr)) || FAILED(target->Commit()) ||
        FAILED(encoder->Commit()))
        return false;
    return ReadWholeStream(output.get(), maxBytes, png);
}
