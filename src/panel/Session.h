// The sign-in session: the device token the palette signs requests with, and why it is signed
// out. Every change of it is one of the operations below, on the host thread, in the order the
// completions arrive: a sign-in that completes after a sign-out signs in again, and a revocation
// never takes away a token obtained after the refused one.
#pragma once
#include <string>

#include "platform/Secure.h"
#include "store/TokenStore.h"

class Session {
public:
    // Signed in with the stored token, when there is one.
    Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool SignedIn() const { return !token_.empty(); }
    // "revoked" after the service refused the token; empty otherwise.
    const std::string& Reason() const { return reason_; }
    // A copy of the token for a worker to send; empty when signed out.
    SecretString Token() const { return token_; }

    // Signs in with a token the service returned and stores it; true when the stored copy was
    // written and read back equal.
    bool SignIn(const SecretString& token);
    // Signs out on the user's request: the stored token is erased and no reason is kept.
    void SignOut();
    // Signs out because the service refused `refused`, when that is still the token held; true
    // when it did.
    bool Revoke(const SecretString& refused);

private:
    TokenStore store_;
    SecretString token_;
    std::string reason_;
};
