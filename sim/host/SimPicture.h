// A picture the simulated host draws: 8-bit RGB rows, top to bottom, and its PNG and JPEG
// encodings.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <vector>

struct SimPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3 bytes

    void Allocate(int w, int h) {
        width = w;
        height = h;
        rgb.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0);
    }
    uint32_t Pixel(int x, int y) const {  // 0xRRGGBB
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
};

// Pictures of more pixels than this (192 MiB decoded) are not decoded.
inline constexpr uint64_t kMaxDecodedPixels = uint64_t{1} << 26;

inline bool StartsWithBytes(const std::vector<uint8_t>& bytes, std::initializer_list<uint8_t> signature) {
    if (bytes.size() < signature.size()) return false;
    size_t i = 0;
    for (uint8_t b : signature)
        if (bytes[i++] != b) return false;
    return true;
}
inline bool IsPngSignature(const std::vector<uint8_t>& bytes) {
    return StartsWithBytes(bytes, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
}
inline bool IsJpegSignature(const std::vector<uint8_t>& bytes) { return StartsWithBytes(bytes, {0xFF, 0xD8, 0xFF}); }

// PNG bytes of the picture (8-bit RGB, quick compression); false when encoding fails.
bool EncodePng(const SimPicture& picture, std::vector<uint8_t>* png);
// The pixels of a PNG or JPEG, transparent parts laid on white; false when the bytes are neither,
// are damaged, or hold more than kMaxDecodedPixels.
bool DecodePicture(const std::vector<uint8_t>& bytes, SimPicture* picture);
