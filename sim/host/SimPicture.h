// A picture the simulated host draws: 8-bit RGB rows, top to bottom, and its PNG encoding.
#pragma once
#include <cstdint>
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

// PNG bytes of the picture (8-bit RGB, quick compression); false when encoding fails.
bool EncodePng(const SimPicture& picture, std::vector<uint8_t>* png);
