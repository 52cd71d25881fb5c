// The throwaway CA and server certificate, made with OpenSSL's certificate API.
#include "sim/service/TestPki.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <memory>
#include <stdexcept>

#include "sim/service/OpenSslOwners.h"

namespace {

constexpr long kValidBefore = 3600;
constexpr long kValidFor = 30L * 24 * 3600;

[[noreturn]] void Fail(const char* step) {
    const unsigned long code = ERR_get_error();
    char detail[256] = "no detail";
    if (code != 0) ERR_error_string_n(code, detail, sizeof detail);
    ERR_clear_error();
    throw std::runtime_error(std::string("test PKI: ") + step + " failed (" + detail + ")");
}

void Check(int result, const char* step) {
    if (result <= 0) Fail(step);
}

KeyPtr MakeKey() {
    KeyPtr key(EVP_RSA_gen(2048));
    if (!key) Fail("key generation");
    return key;
}

NamePtr MakeName(const std::string& commonName) {
    NamePtr name(X509_NAME_new());
    if (!name) Fail("name");
    const auto add = [&](const char* field, const std::string& value) {
        Check(X509_NAME_add_entry_by_txt(name.get(), field, MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0),
              "name entry");
    };
    add("O", "Tamsel Ovra tests");
    add("CN", commonName);
    return name;
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
    if (!extension) Fail("certificate extension");
    Check(X509_add_ext(certificate, extension.get(), -1), "adding an extension");
}

// An unsigned version 3 certificate for `key` under `subject`, issued by `issuer` (by itself
// when `issuer` is null); the extensions and the signature come next.
CertPtr MakeCertificate(EVP_PKEY* key, X509_NAME* subject, X509* issuer) {
    CertPtr certificate(X509_new());
    if (!certificate) Fail("certificate");
    Check(X509_set_version(certificate.get(), X509_VERSION_3), "certificate version");
    BignumPtr serial(BN_new());
    if (!serial) Fail("serial number");
    Check(BN_rand(serial.get(), 63, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ANY), "serial number");
    if (!BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get()))) Fail("serial number");
    if (!X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -kValidBefore) ||
        !X509_gmtime_adj(X509_getm_notAfter(certificate.get()), kValidFor))
        Fail("validity");
    Check(X509_set_pubkey(certificate.get(), key), "public key");
    Check(X509_set_subject_name(certificate.get(), subject), "subject");
    Check(X509_set_issuer_name(certificate.get(), issuer ? X509_get_subject_name(issuer) : subject), "issuer");
    return certificate;
}

std::string PemText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    if (size <= 0) Fail("PEM output");
    return std::string(data, static_cast<size_t>(size));
}

std::string CertificatePem(X509* certificate) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio) Fail("PEM output");
    Check(PEM_write_bio_X509(bio.get(), certificate), "certificate PEM");
    return PemText(bio.get());
}

std::string KeyPem(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio) Fail("PEM output");
    Check(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr), "key PEM");
    return PemText(bio.get());
}
}  // namespace

TestPki MakeTestPki(const std::vector<std::string>& dnsNames) {
    if (dnsNames.empty()) throw std::runtime_error("test PKI: a server certificate needs a name");

    const KeyPtr caKey = MakeKey();
    const NamePtr caName = MakeName("Tamsel Ovra throwaway test CA");
    const CertPtr ca = MakeCertificate(caKey.get(), caName.get(), nullptr);
    AddExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    AddExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
    AddExtension(ca.get(), ca.get(), NID_authority_key_identifier, "keyid:always");
    Check(X509_sign(ca.get(), caKey.get(), EVP_sha256()), "CA signature");

    const KeyPtr serverKey = MakeKey();
    const NamePtr serverName = MakeName(dnsNames.front());
    const CertPtr server = MakeCertificate(serverKey.get(), serverName.get(), ca.get());
    std::string alternativeNames;
    for (const std::string& name : dnsNames) {
        if (name.empty() || name.find_first_of(",:\r\n ") != std::string::npos)
            throw std::runtime_error("test PKI: not a DNS name: " + name);
        alternativeNames += (alternativeNames.empty() ? "DNS:" : ",DNS:") + name;
    }
    AddExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature,keyEncipherment");
    AddExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth");
    AddExtension(server.get(), ca.get(), NID_subject_alt_name, alternativeNames);
    AddExtension(server.get(), ca.get(), NID_subject_key_identifier, "hash");
    AddExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid:always");
    Check(X509_sign(server.get(), caKey.get(), EVP_sha256()), "server signature");

    return TestPki{CertificatePem(ca.get()), CertificatePem(server.get()), KeyPem(serverKey.get())};
}

void WriteCaPem(const TestPki& pki, const std::filesystem::path& file) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << pki.caCertificatePem;
    out.close();
    if (!out) throw std::runtime_error("test PKI: cannot write " + file.string());
}
