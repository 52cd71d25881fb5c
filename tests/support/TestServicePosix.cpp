// The simulated service in the test's own process, with a fresh throwaway CA.
#include <filesystem>
#include <random>

#include "platform/Http.h"
#include "sim/service/SimService.h"
#include "support/TestService.h"

namespace fs = std::filesystem;

namespace {
class InProcessService final : public TestService {
public:
    InProcessService() : pki_(MakeTestPki()), service_(pki_) {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("tovr-service-" + std::to_string(random()));
        fs::create_directories(folder_);
        WriteCaPem(pki_, folder_ / "ca.pem");
        WriteCaPem(MakeTestPki(), folder_ / "foreign.pem");
        service_.Start();
        Aim(true);
    }
    ~InProcessService() override {
        SetServiceEndpoint({});
        service_.Stop();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    void Script(const ScriptedAnswer& answer) override { service_.Script(answer); }
    ServiceRecord Record() override { return service_.Record(); }
    // Not trusting it means trusting another throwaway CA instead.
    void Aim(bool trustServiceCa) override {
        SetServiceEndpoint({service_.Port(), (folder_ / (trustServiceCa ? "ca.pem" : "foreign.pem")).string()});
    }

private:
    TestPki pki_;
    SimService service_;
    fs::path folder_;
};
}  // namespace

std::unique_ptr<TestService> TestService::Start() { return std::make_unique<InProcessService>(); }
