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

// For fuzz targets and tests that reuse one loaded add-on for many inputs; the add-on never calls
// it. Replaces the open palette by a new one whose page is not loaded yet, as the first open
// after a load makes it, and forgets the process-wide state that otherwise only a new load of
// the add-on forgets: the cameras of listed views, the self-test's run, the Mailbox. Host thread
// only; refused (false, nothing changed) without an open palette or while anything runs, is
// posted or waits.
bool ReplacePaletteForTesting();
