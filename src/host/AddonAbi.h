// The loading convention between host and add-on: the add-on exports two functions; the host
// asks the first for the add-on's entry points and hands the second its own function table.
#pragma once
#include <cstdint>

#include "host/HostErrors.h"

class HostApi;
class ClockProvider;
class NativeWindows;
class Launcher;
class Dialogs;
struct AddonResources;

// The environment record of the environment check.
struct AddonEnvironment {
    char languageCode[4] = {};  // the host's three-letter language code
    char name[256] = {};        // UTF-8, written by the add-on
    char description[512] = {};
};

// The value the environment check returns for an add-on that is loaded normally.
inline constexpr int32_t kAddonLoadNormal = 1;

struct AddonExports {
    int32_t (*checkEnvironment)(AddonEnvironment* environment) = nullptr;
    HostError (*registerInterface)() = nullptr;
    HostError (*initialize)() = nullptr;
    HostError (*freeData)() = nullptr;
    const AddonResources* resources = nullptr;
};

// What only a simulated host or a test supplies; every field may be null.
struct HostExtension {
    ClockProvider* clock = nullptr;
    NativeWindows* windows = nullptr;
    Launcher* launcher = nullptr;
    Dialogs* dialogs = nullptr;
    // A simulated service on the loopback interface: its port (0 for the real service) and the
    // PEM file of the CA that signed its certificate.
    uint16_t servicePort = 0;
    const char* serviceCaFile = nullptr;
    // With a simulated service: the transport's time-outs are divided by this (0 or 1 keeps them).
    uint32_t serviceTimeoutDivisor = 0;
};

struct HostImports {
    HostApi* host = nullptr;
    const HostExtension* extension = nullptr;
};

#if defined(_WIN32)
#define TOVR_EXPORT __declspec(dllexport)
#else
#define TOVR_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
TOVR_EXPORT void GetExportedFuncAddrs(AddonExports* exports);
TOVR_EXPORT void SetImportedFuncAddrs(const HostImports* imports);
}

using GetExportedFuncAddrsFn = void (*)(AddonExports*);
using SetImportedFuncAddrsFn = void (*)(const HostImports*);
