// The palette's GUID, built at start-up, and the reference id derived from it.
#include "panel/PaletteIdentity.h"

namespace {
const HostGuid gPaletteGuid = *HostGuid::Parse("{1D9C7B8D-3AA7-4C11-8D68-0A053BE27C35}");
}

const HostGuid& PaletteGuid() { return gPaletteGuid; }

int32_t PaletteRefId() {
    const auto bytes = gPaletteGuid.Bytes();
    uint32_t sum = 0;
    for (int word = 0; word < 4; ++word) {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= uint32_t{bytes[word * 4 + i]} << (8 * i);
        sum += value;
    }
    return static_cast<int32_t>(sum);
}
