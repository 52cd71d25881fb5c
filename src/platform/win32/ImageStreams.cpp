// Win32: memory streams on HGLOBAL for WIC and GDI+.
#include "platform/win32/ImageStreams.h"

ComPtr<IStream> EmptyStream() {
    ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.out()))) stream.reset();
    return stream;
}

ComPtr<IStream> StreamWithBytes(std::string_view bytes) {
    if (bytes.size() > 0xFFFFFFFFu) return {};
    ComPtr<IStream> stream = EmptyStream();
    if (!stream) return {};
    ULONG written = 0;
    const LARGE_INTEGER start{};
    if (FAILED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) || written != bytes.size() ||
        FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)))
        return {};
    return stream;
}

bool ReadWholeStream(IStream* stream, size_t maxBytes, std::string* bytes) {
    bytes->clear();
    LARGE_INTEGER zero{};
    ULARGE_INTEGER end{};
    if (FAILED(stream->Seek(zero, STREAM_SEEK_END, &end)) || end.QuadPart == 0 || end.QuadPart > maxBytes ||
        end.QuadPart > 0xFFFFFFFFu || FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr)))
        return false;
    std::string data(static_cast<size_t>(end.QuadPart), '\0');
    ULONG read = 0;
    if (FAILED(stream->Read(data.data(), static_cast<ULONG>(data.size()), &read)) || read != data.size()) return false;
    *bytes = std::move(data);
    return true;
}
