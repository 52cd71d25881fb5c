// The palette's identity towards the host.
#pragma once
#include <cstdint>

#include "host/HostGuid.h"

const HostGuid& PaletteGuid();
// The wrapping sum of the GUID's four 32-bit words in its memory layout.
int32_t PaletteRefId();
