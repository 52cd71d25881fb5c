// The current user's Root store, with CryptoAPI.
#include "support/RootStoreWin32.h"

#include <windows.h>
#include <wincrypt.h>

#include <stdexcept>

namespace {
// The store, closed on every path.
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
}  // namespace

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

void TrustInRootStore(const std::string& der, bool trust) {
    RootStore root;
    if (trust)
        root.Add(der);
    else
        root.Remove(der);
}
