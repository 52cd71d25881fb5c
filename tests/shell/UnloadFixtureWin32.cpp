// The unload test's surroundings under Wine: the standalone service that the run started, and
// the prefix's roaming application data, where the loaded module keeps its files.
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <exception>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "shell/UnloadFixture.h"
#include "support/ExpectedViolations.h"
#include "support/StandaloneServiceWin32.h"

namespace fs = std::filesystem;

namespace {
fs::path RoamingAppData() {
    PWSTR path = nullptr;
    const HRESULT hr = ::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path);
    fs::path folder;
    if (SUCCEEDED(hr) && path != nullptr) folder = path;
    ::CoTaskMemFree(path);
    if (folder.empty()) throw std::runtime_error("no roaming application data folder");
    return folder;
}

class Standalone final : public UnloadFixture {
public:
    Standalone() : dataFolder_(RoamingAppData() / "Ovra for Archicad"), service_(ConnectToStandaloneService()) {
        TrustInRootStore(service_.caDer, true);
        std::error_code ignored;
        fs::remove_all(dataFolder_, ignored);
    }
    ~Standalone() override {
        std::error_code ignored;
        fs::remove_all(dataFolder_, ignored);
        try {
            ExpectedViolations().Check(service_.control->Record().violations);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "the service's violations could not be read: " << e.what();
        }
    }

    void Script(const ScriptedAnswer& answer) override { service_.control->Script(answer); }
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) override {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (service_.control->Record().requests.size() < count) {
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    uint16_t Port() const override { return service_.endpoints.servicePort; }
    std::string CaFile() const override { return {}; }
    fs::path DataFolder() const override { return dataFolder_; }
    bool ModuleMapped(const std::string& moduleFile) const override {
        return ::GetModuleHandleW(fs::path(moduleFile).filename().wstring().c_str()) != nullptr;
    }
    bool ModuleStaysMapped() const override { return false; }

private:
    fs::path dataFolder_;
    StandaloneService service_;
};
}  // namespace

std::unique_ptr<UnloadFixture> UnloadFixture::Start() { return std::make_unique<Standalone>(); }
