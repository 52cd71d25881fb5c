// The simulated service in the test's own process, with a fresh throwaway CA.
#include <filesystem>
#include <random>

#include "handlers/service/HttpTransport.h"
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
        RequestRules rules;
        rules.plugin = kPluginIdentification;
        service_.SetRules(rules);
        service_.Start();
        Aim(true);
    }
    ~InProcessService() override {
        SetServiceEndpoint({});
        service_.Stop();
        CheckViolations(service_.Violations());
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    void Script(const ScriptedAnswer& answer) override { service_.Script(answer); }
    ServiceRecord Record() override { return service_.Record(); }
    // Not trusting it means trusting another throwaway CA instead.
    void Aim(bool trustServiceCa) override {
        SetServiceEndpoint({service_.Port(), (folder_ / (trustServiceCa ? "ca.pem" : "foreign.pem")).string()});
    }

    uint16_t Port() const override { return service_.Port(); }
    std::string CaFile() const override { return (folder_ / "ca.pem").string(); }

    std::string IssueToken() override { return service_.Routes().IssueToken(); }
    bool RevokeToken(const std::string& token) override { return service_.Routes().RevokeToken(token); }
    bool Decide(const std::string& code, DeviceDecision decision) override {
        return service_.Routes().Decide(code, decision);
    }
    void SetApproveAtFirstPoll(bool on) override { service_.Routes().SetApproveAtFirstPoll(on); }
    AccountState Account() override { return service_.Routes().Account(); }
    std::vector<DeviceState> Devices() override { return service_.Routes().Devices(); }
    std::vector<UploadState> Uploads() override { return service_.Routes().Uploads(); }

    void ExpectLanguage(const std::string& language) override {
        RequestRules rules = service_.Rules();
        rules.language = language;
        service_.SetRules(rules);
    }
    void ExpectNoIdempotencyKey() override {
        RequestRules rules = service_.Rules();
        rules.idempotencyKeys = false;
        service_.SetRules(rules);
    }

private:
    TestPki pki_;
    SimService service_;
    fs::path folder_;
};
}  // namespace

std::unique_ptr<TestService> TestService::Start() { return std::make_unique<InProcessService>(); }
