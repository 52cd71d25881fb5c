// The unload test's surroundings on Linux: the simulated service in process, and scratch data and
// configuration roots that the module reads from the environment.
#include <dlfcn.h>
#include <stdlib.h>

#include <random>

#include "shell/UnloadFixture.h"
#include "sim/service/SimService.h"
#include "support/ExpectedViolations.h"

namespace fs = std::filesystem;

namespace {
class InProcess final : public UnloadFixture {
public:
    InProcess() : pki_(MakeTestPki()), service_(pki_) {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("tovr-unload-" + std::to_string(random()));
        fs::create_directories(root_ / "data");
        fs::create_directories(root_ / "config");
        ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        WriteCaPem(pki_, root_ / "ca.pem");
        service_.Start();
    }
    ~InProcess() override {
        service_.Stop();
        ExpectedViolations().Check(service_.Violations());
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    void Script(const ScriptedAnswer& answer) override { service_.Script(answer); }
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) override {
        return service_.WaitForRequests(count, timeout);
    }
    uint16_t Port() const override { return service_.Port(); }
    std::string CaFile() const override { return (root_ / "ca.pem").string(); }
    fs::path DataFolder() const override { return root_ / "data" / "Ovra for Archicad"; }
    bool ModuleMapped(const std::string& moduleFile) const override {
        void* module = ::dlopen(moduleFile.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (module == nullptr) return false;
        ::dlclose(module);
        return true;
    }
    bool ModuleStaysMapped() const override { return true; }

private:
    TestPki pki_;
    SimService service_;
    fs::path root_;
};
}  // namespace

std::unique_ptr<UnloadFixture> UnloadFixture::Start() { return std::make_unique<InProcess>(); }
