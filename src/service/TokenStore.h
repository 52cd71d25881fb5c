// The device token store: the signed-in token kept for the current user.
#pragma once
#include <string>

class TokenStore {
public:
    // The stored token; empty when there is none.
    std::string Load();
    // True when the token was stored and reads back the same.
    bool Save(const std::string& token);
    bool Erase();
};
