// Loading the add-on module file the way a host loads an add-on.
#pragma once
#include <memory>
#include <string>

#include "sim/host/SimHost.h"

class LoadedModule {
public:
    virtual ~LoadedModule() = default;
    virtual AddonEntry Entry() const = 0;
    // Keeps the module mapped until the process ends (the add-on asked to stay loaded).
    virtual void KeepLoaded() = 0;
};

// Loads the module and finds its two exported functions; null with a message on failure.
std::unique_ptr<LoadedModule> LoadAddonModule(const std::string& path, std::string* error);
