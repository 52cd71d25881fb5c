// The device token store.
#include "store/TokenStore.h"

#include "platform/Files.h"
#include "platform/Protect.h"
#include "platform/Secure.h"
#include "platform/System.h"
#include "store/FileStore.h"
#include "store/Log.h"

namespace {
constexpr std::string_view kEntropy = "Quill Harbor seal phrase 42";
constexpr uint64_t kMaxTokenFile = 65536;
constexpr uint64_t kMaxToken = 4294967295u;

// The token file in `folder`; empty when there is no folder.
std::string TokenFileIn(const std::string& folder) {
    return folder.empty() ? std::string() : JoinPath(folder, "token.dpapi");
}
}  // namespace

std::string TokenFilePath() { return TokenFileIn(DataFolder()); }

TokenStore::~TokenStore() { SecureWipe(cached_); }

std::string TokenStore::Load() {
    if (!cached_.empty()) return cached_;
    std::string blob;
    if (!ReadWholeFile(TokenFilePath(), &blob, kMaxTokenFile)) return {};
    std::string plain;
    if (!UnprotectForUser(blob, kEntropy, &plain)) return {};
    cached_ = plain;
    SecureWipe(plain);
    return cached_;
}

bool TokenStore::Save(const std::string& token) {
    SecureWipe(cached_);
    cached_ = token;
    const std::string path = TokenFilePath();
    if (path.empty() || token.empty() || token.size() > kMaxToken) return false;
    std::string blob;
    if (!ProtectForUser(token, kEntropy, &blob)) return false;
    if (!ReplaceFileContents(path, blob, "tot")) return false;
    TokenStore fresh;
    std::string readBack = fresh.Load();
    const bool same = readBack == token;
    SecureWipe(readBack);
    return same;
}

bool TokenStore::Erase() {
    SecureWipe(cached_);
    // The file's place is worked out without making the folder: a folder that cannot be made
    // just then must not pass for a token that is not there.
    const std::string path = TokenFileIn(DataFolderPath());
    if (path.empty() || !FileExists(path)) return true;
    // Another instance reading the file at that moment can make one delete fail.
    if (Files().Delete(path) || Files().Delete(path) || !FileExists(path)) return true;
    WriteLog("token delete failed");
    return false;
}
