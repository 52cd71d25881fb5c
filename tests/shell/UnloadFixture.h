// What a test of the module file needs around it: the simulated service that the loaded module
// talks to, and the folder where that module keeps its data. On Linux the service runs in the
// test's own process with a fresh CA, and the data folder is a scratch one named through the
// environment. Under Wine the standalone service that the run started is scripted through its
// control interface with its CA in the current user's Root store, and the data folder is the
// prefix's roaming application data, emptied before and after.
#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "sim/service/ServiceScript.h"

class UnloadFixture {
public:
    virtual ~UnloadFixture() = default;
    // Throws std::runtime_error when no service can be had.
    static std::unique_ptr<UnloadFixture> Start();

    virtual void Script(const ScriptedAnswer& answer) = 0;
    // True once at least `count` requests have arrived; false when the time passes first.
    virtual bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) = 0;
    // What the host hands the module: the service's port, and the CA file to trust (empty where
    // the system's trust store holds the CA).
    virtual uint16_t Port() const = 0;
    virtual std::string CaFile() const = 0;
    // The module's own data folder ("Ovra for Archicad" in its data root).
    virtual std::filesystem::path DataFolder() const = 0;

    // Whether the module file is mapped in this process now.
    virtual bool ModuleMapped(const std::string& moduleFile) const = 0;
    // Whether a loaded module stays mapped until the process ends (Linux: it is linked with
    // -z nodelete); otherwise each worker holds a reference to it until the worker's last act.
    virtual bool ModuleStaysMapped() const = 0;
};
