// The sign-in session's operations.
#include "panel/Session.h"

Session::Session() : token_(store_.Load()) {}

bool Session::SignIn(const SecretString& token) {
    const bool saved = store_.Save(token.text());
    token_ = token;
    reason_.clear();
    return saved;
}

void Session::SignOut() {
    store_.Erase();
    token_ = SecretString();
    reason_.clear();
}

bool Session::Revoke(const SecretString& refused) {
    if (token_.empty() || token_.text() != refused.text()) return false;
    store_.Erase();
    token_ = SecretString();
    reason_ = "revoked";
    return true;
}
