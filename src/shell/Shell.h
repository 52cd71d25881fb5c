// The add-on's face towards the host: entry points, the menu command, palette control, the
// module command and project notifications. Host thread only.
#pragma once
#include <cstdint>

#include "host/AddonAbi.h"
#include "host/HostApi.h"
#include "panel/PaletteIdentity.h"

class Palette;

// Entry points, in the order the host calls them.
int32_t CheckEnvironment(AddonEnvironment* environment);
HostError RegisterInterface();
HostError Initialize();
HostError FreeData();

// Handlers installed with the host.
HostError OnMenuCommand(const MenuParams& params);
HostError OnModuleCommand(void* parameters, void* result, bool silentMode);
HostError PaletteControl(int32_t referenceId, int32_t message, intptr_t parameter);
HostError ProjectEvent(int32_t eventId, int32_t parameter);

void OpenPalette();

// The open palette, or null before the first open and after release.
Palette* CurrentPalette();
