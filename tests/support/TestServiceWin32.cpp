// The standalone simulated service as the Windows build sees it under Wine: started by the test
// runner, scripted through its control interface, its CA added to the current user's Root store.
#include <cstdlib>
#include <stdexcept>

#include "platform/Http.h"
#include "sim/service/ServiceControl.h"
#include "support/RootStoreWin32.h"
#include "support/ScratchFolders.h"
#include "support/TestService.h"

namespace {
class StandaloneService final : public TestService {
public:
    StandaloneService() {
        const char* dir = std::getenv("TOVR_SERVICE_DIR");
        if (dir == nullptr) throw std::runtime_error("TOVR_SERVICE_DIR names no running service");
        const auto endpoints = ReadServiceEndpoints(dir);
        if (!endpoints) throw std::runtime_error("the service has not written its ports");
        endpoints_ = *endpoints;
        control_ = std::make_unique<ServiceControl>(endpoints_.controlPort);
        control_->Reset();
        caDer_ = DerFromPem(ReadFileText(endpoints_.caPemFile));
        // The untrusted-certificate run starts with the CA not trusted, before any verification.
        const char* untrusted = std::getenv("TOVR_SERVICE_UNTRUSTED");
        Aim(untrusted == nullptr || *untrusted != '1');
    }
    ~StandaloneService() override { SetServiceEndpoint({}); }

    void Script(const ScriptedAnswer& answer) override { control_->Script(answer); }
    ServiceRecord Record() override { return control_->Record(); }
    // The Windows transport trusts the Root store, so trust is given and taken there.
    void Aim(bool trustServiceCa) override {
        TrustInRootStore(caDer_, trustServiceCa);
        SetServiceEndpoint({endpoints_.servicePort, ""});
    }

    uint16_t Port() const override { return endpoints_.servicePort; }
    std::string CaFile() const override { return {}; }

    std::string IssueToken() override { return control_->IssueToken(); }
    bool RevokeToken(const std::string& token) override { return control_->RevokeToken(token); }
    bool Decide(const std::string& code, DeviceDecision decision) override {
        return control_->DecideDevice(code, decision);
    }
    void SetApproveAtFirstPoll(bool on) override { control_->SetApproveAtFirstPoll(on); }
    AccountState Account() override { return control_->Account(); }
    std::vector<DeviceState> Devices() override { return control_->Devices(); }
    std::vector<UploadState> Uploads() override { return control_->Uploads(); }

private:
    ServiceEndpoints endpoints_;
    std::unique_ptr<ServiceControl> control_;
    std::string caDer_;
};
}  // namespace

std::unique_ptr<TestService> TestService::Start() { return std::make_unique<StandaloneService>(); }
