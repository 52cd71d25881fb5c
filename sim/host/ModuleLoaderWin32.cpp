// Loading the add-on module with LoadLibraryW.
#include <windows.h>

#include "platform/win32/Owners.h"
#include "platform/win32/Wide.h"
#include "sim/host/ModuleLoader.h"

namespace {
// The system's text for an error code, in UTF-8, without the trailing line break.
std::string SystemMessage(DWORD code) {
    LocalMemory<LPWSTR> text;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<LPWSTR>(text.out()), 0, nullptr);
    std::string message = "error " + std::to_string(code);
    if (n != 0 && text.get() != nullptr) {
        std::wstring w(text.get(), n);
        while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ')) w.pop_back();
        message += ": " + Narrow(w);
    }
    return message;
}

class LibraryModule final : public LoadedModule {
public:
    LibraryModule(HMODULE module, AddonEntry entry) : module_(module), entry_(entry) {}
    ~LibraryModule() override {
        if (keep_) module_.release();
    }
    AddonEntry Entry() const override { return entry_; }
    void KeepLoaded() override { keep_ = true; }

private:
    LibraryHandle module_;
    AddonEntry entry_;
    bool keep_ = false;
};

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    // GetProcAddress gives a generic function pointer; the loading convention fixes the real type.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}
}  // namespace

std::unique_ptr<LoadedModule> LoadAddonModule(const std::string& path, std::string* error) {
    LibraryHandle module(::LoadLibraryW(Wide(path).c_str()));
    if (module.get() == nullptr) {
        *error = SystemMessage(::GetLastError());
        return nullptr;
    }
    AddonEntry entry;
    entry.getExports = Export<GetExportedFuncAddrsFn>(module.get(), "GetExportedFuncAddrs");
    entry.setImports = Export<SetImportedFuncAddrsFn>(module.get(), "SetImportedFuncAddrs");
    if (entry.getExports == nullptr || entry.setImports == nullptr) {
        *error = "the module does not export GetExportedFuncAddrs and SetImportedFuncAddrs";
        return nullptr;
    }
    return std::make_unique<LibraryModule>(module.release(), entry);
}
