// The host's image of a window: its size and an encoder into a file format's bytes.
#pragma once
#include <cstdint>
#include <vector>
#include "host/HostErrors.h"

class NativeImage {
public:
    virtual ~NativeImage() = default;
    virtual uint32_t Width() const = 0;
    virtual uint32_t Height() const = 0;
    // encoding 1 is PNG.
    virtual HostError Encode(int encoding, std::vector<uint8_t>* out) const = 0;
};
