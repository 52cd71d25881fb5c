// The current user's Root store, where the Windows transport finds the CAs it trusts: tests put
// the simulated service's throwaway CA there, or take it out.
#pragma once
#include <string>

// The DER bytes of a PEM certificate; throws std::runtime_error when the text is not PEM.
std::string DerFromPem(const std::string& pem);
// Adds the certificate (DER) to the store, or removes it; throws std::runtime_error when the
// store cannot be opened or the certificate cannot be added.
void TrustInRootStore(const std::string& der, bool trust);
