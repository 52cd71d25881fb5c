// Loading the add-on module with dlopen.
#include <dlfcn.h>

#include "sim/host/ModuleLoader.h"

namespace {
class DlModule final : public LoadedModule {
public:
    DlModule(void* handle, AddonEntry entry) : handle_(handle), entry_(entry) {}
    ~DlModule() override {
        if (handle_ != nullptr && !keep_) ::dlclose(handle_);
    }
    AddonEntry Entry() const override { return entry_; }
    void KeepLoaded() override { keep_ = true; }

private:
    void* handle_;
    AddonEntry entry_;
    bool keep_ = false;
};
}  // namespace

std::unique_ptr<LoadedModule> LoadAddonModule(const std::string& path, std::string* error) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        *error = ::dlerror();
        return nullptr;
    }
    AddonEntry entry;
    entry.getExports = reinterpret_cast<GetExportedFuncAddrsFn>(::dlsym(handle, "GetExportedFuncAddrs"));
    entry.setImports = reinterpret_cast<SetImportedFuncAddrsFn>(::dlsym(handle, "SetImportedFuncAddrs"));
    if (entry.getExports == nullptr || entry.setImports == nullptr) {
        *error = "the module does not export GetExportedFuncAddrs and SetImportedFuncAddrs";
        ::dlclose(handle);
        return nullptr;
    }
    return std::make_unique<DlModule>(handle, entry);
}
