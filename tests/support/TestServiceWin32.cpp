// The standalone simulated service as the Windows build sees it under Wine: started by the test
// runner, scripted through its control interface, its CA added to the current user's Root store.
#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <stdexcept>

#include "platform/Http.h"
#include "sim/service/ServiceControl.h"
#include "support/ScratchFolders.h"
#include "support/TestService.h"

namespace {
// The CA certificate's DER bytes from its PEM text.
std::string DerFromPem(const std::string& pem) {
    DWORD size = 0;
    if (!::CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                                nullptr, nullptr))
        throw std::runtime_error("the service's CA is not PEM");
    std::string der(size, '\0');
    if (!::CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr))
        throw std::runtime_error("the service's CA is not PEM");
    der.resize(size);
    return der;
}

// The current user's Root store, closed on every path.
class RootStore {
public:
    RootStore()
        : store_(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root")) {
        if (store_ == nullptr) throw std::runtime_error("cannot open the Root store");
    }
    ~RootStore() { ::CertCloseStore(store_, 0); }
    RootStore(const RootStore&) = delete;
    RootStore& operator=(const RootStore&) = delete;

    void Add(const std::string& der) {
        if (!::CertAddEncodedCertificateToStore(store_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                nullptr))
            throw std::runtime_error("cannot trust the service's CA");
    }
    void Remove(const std::string& der) {
        PCCERT_CONTEXT cert = ::CertCreateCertificateContext(
            X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
        if (cert == nullptr) return;
        PCCERT_CONTEXT found = ::CertFindCertificateInStore(store_, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert,
                                                            nullptr);
        ::CertFreeCertificateContext(cert);
        if (found != nullptr) ::CertDeleteCertificateFromStore(found);  // frees `found`
    }

private:
    HCERTSTORE store_;
};

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
        RootStore root;
        if (trustServiceCa)
            root.Add(caDer_);
        else
            root.Remove(caDer_);
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
