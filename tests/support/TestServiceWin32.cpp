// The standalone simulated service as the Windows build sees it under Wine: started by the test
// runner, scripted through its control interface, its CA added to the current user's Root store.
#include <gtest/gtest.h>

#include <cstdlib>
#include <exception>

#include "platform/Http.h"
#include "support/StandaloneServiceWin32.h"
#include "support/TestService.h"

namespace {
class ServiceUnderWine final : public TestService {
public:
    ServiceUnderWine() : service_(ConnectToStandaloneService()) {
        // The untrusted-certificate run starts with the CA not trusted, before any verification.
        const char* untrusted = std::getenv("TOVR_SERVICE_UNTRUSTED");
        Aim(untrusted == nullptr || *untrusted != '1');
    }
    ~ServiceUnderWine() override {
        SetServiceEndpoint({});
        try {
            CheckViolations(service_.control->Record().violations);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "the service's violations could not be read: " << e.what();
        }
    }

    void Script(const ScriptedAnswer& answer) override { service_.control->Script(answer); }
    ServiceRecord Record() override { return service_.control->Record(); }
    // The Windows transport trusts the Root store, so trust is given and taken there.
    void Aim(bool trustServiceCa) override {
        TrustInRootStore(service_.caDer, trustServiceCa);
        SetServiceEndpoint({service_.endpoints.servicePort, ""});
    }

    uint16_t Port() const override { return service_.endpoints.servicePort; }
    std::string CaFile() const override { return {}; }

    std::string IssueToken() override { return service_.control->IssueToken(); }
    bool RevokeToken(const std::string& token) override { return service_.control->RevokeToken(token); }
    bool Decide(const std::string& code, DeviceDecision decision) override {
        return service_.control->DecideDevice(code, decision);
    }
    void SetApproveAtFirstPoll(bool on) override { service_.control->SetApproveAtFirstPoll(on); }
    AccountState Account() override { return service_.control->Account(); }
    std::vector<DeviceState> Devices() override { return service_.control->Devices(); }
    std::vector<UploadState> Uploads() override { return service_.control->Uploads(); }

    void ExpectLanguage(const std::string& language) override { service_.control->SetExpectedLanguage(language); }
    void ExpectNoIdempotencyKey() override { service_.control->SetIdempotencyKeysRequired(false); }

private:
    StandaloneService service_;
};
}  // namespace

std::unique_ptr<TestService> TestService::Start() { return std::make_unique<ServiceUnderWine>(); }
