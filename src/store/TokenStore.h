// The device token store: the signed-in token, kept across restarts in "token.dpapi" in the data
// folder, protected for the current user, with a copy cached in memory. One store per thread.
#pragma once
#include <string>

class TokenStore {
public:
    TokenStore() = default;
    ~TokenStore();
    TokenStore(const TokenStore&) = delete;
    TokenStore& operator=(const TokenStore&) = delete;

    // The cached token, else the one read from the file (then cached); empty when there is none.
    std::string Load();
    // Caches the token and writes the protected file; true only when a fresh store reads back
    // the same token.
    bool Save(const std::string& token);
    // Wipes the cached token and deletes the file, trying the delete twice; false, after
    // logging it, when the file is still there.
    bool Erase();

private:
    std::string cached_;
};

// The path of the protected token file; empty without a data folder.
std::string TokenFilePath();
