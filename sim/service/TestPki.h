// A throwaway certificate authority and a server certificate signed by it, made in memory with
// OpenSSL whenever a test or the standalone service starts, so that no private key is ever kept
// in the repository. Any thread.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

struct TestPki {
    std::string caCertificatePem;
    std::string serverCertificatePem;
    // The server's private key, unencrypted PKCS #8.
    std::string serverKeyPem;
};

// A fresh CA (RSA 2048, self-signed, valid from an hour ago for 30 days) and a server certificate
// whose subjectAltName lists `dnsNames`, for TLS server authentication. Throws std::runtime_error
// when OpenSSL fails or no name is given.
TestPki MakeTestPki(const std::vector<std::string>& dnsNames = {"app.ovra.example", "localhost"});

// Writes the CA certificate's PEM text to `file`; throws std::runtime_error when it cannot.
void WriteCaPem(const TestPki& pki, const std::filesystem::path& file);
