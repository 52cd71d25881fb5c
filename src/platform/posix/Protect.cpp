// POSIX: secrets sealed with XChaCha20-Poly1305 under a per-user random key kept, private to
// the user, in the user's configuration folder (apart from the data it protects); the entropy
// is bound in as associated data. A key file that others could read, or that another user owns,
// is refused, as ssh refuses such keys.
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/Protect.h"
#include "platform/UserFolders.h"

namespace {
constexpr size_t kKeySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr size_t kNonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;

// The key, wiped when it goes out of scope.
struct Key {
    unsigned char bytes[kKeySize];
    ~Key() { sodium_memzero(bytes, sizeof bytes); }
};

std::string KeyFolder() {
    const std::string root = UserConfigRoot();
    return root.empty() ? std::string() : root + "/Ovra for Archicad";
}

// Makes each missing folder of the path, private to the user.
bool MakeFolders(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos < path.size() && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadExactly(int fd, unsigned char* data, size_t size) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    unsigned char extra;
    return ::read(fd, &extra, 1) == 0;
}

enum class KeyState { Loaded, Missing, Refused };

KeyState ReadKey(const std::string& path, Key* key) {
    // Without blocking: a FIFO put in the key's place must be refused, not waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? KeyState::Missing : KeyState::Refused;
    struct stat st {};
    const bool safe = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
                      (st.st_mode & 077) == 0 && st.st_size == static_cast<off_t>(kKeySize);
    const bool read = safe && ReadExactly(fd, key->bytes, kKeySize);
    ::close(fd);
    return read ? KeyState::Loaded : KeyState::Refused;
}

// Writes a new random key beside the final name and links it into place, so the key file is
// either absent or whole; when another process made one first, that one is used.
bool CreateKey(const std::string& folder, const std::string& path, Key* key) {
    if (!MakeFolders(folder)) return false;
    randombytes_buf(key->bytes, kKeySize);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%u.%08x", static_cast<unsigned>(::getpid()), randombytes_random());
    const std::string temp = path + suffix;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written = ::write(fd, key->bytes, kKeySize) == static_cast<ssize_t>(kKeySize) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    const bool linked = written && closed && (::link(temp.c_str(), path.c_str()) == 0 || errno == EEXIST);
    ::unlink(temp.c_str());
    if (!linked) return false;
    return ReadKey(path, key) == KeyState::Loaded;
}

bool GetKey(bool create, Key* key) {
    if (sodium_init() < 0) return false;
    const std::string folder = KeyFolder();
    if (folder.empty()) return false;
    const std::string path = folder + "/token.key";
    switch (ReadKey(path, key)) {
        case KeyState::Loaded:
            return true;
        case KeyState::Missing:
            return create && CreateKey(folder, path, key);
        case KeyState::Refused:
            return false;
    }
    return false;
}

const unsigned char* Bytes(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }
}  // namespace

bool ProtectForUser(std::string_view plain, std::string_view entropy, std::string* blob) {
    Key key;
    if (!GetKey(true, &key)) return false;
    std::string out(kNonceSize + plain.size() + kTagSize, '\0');
    auto* data = reinterpret_cast<unsigned char*>(out.data());
    randombytes_buf(data, kNonceSize);
    unsigned long long sealed = 0;
    if (crypto_aead_xchacha20poly1305_ietf_encrypt(data + kNonceSize, &sealed, Bytes(plain), plain.size(),
                                                   Bytes(entropy), entropy.size(), nullptr, data, key.bytes) != 0)
        return false;
    out.resize(kNonceSize + sealed);
    *blob = std::move(out);
    return true;
}

bool UnprotectForUser(std::string_view blob, std::string_view entropy, std::string* plain) {
    plain->clear();
    if (blob.size() < kNonceSize + kTagSize) return false;
    Key key;
    if (!GetKey(false, &key)) return false;
    std::string out(blob.size() - kNonceSize - kTagSize, '\0');
    unsigned long long opened = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(out.data()), &opened, nullptr,
                                                   Bytes(blob) + kNonceSize, blob.size() - kNonceSize,
                                                   Bytes(entropy), entropy.size(), Bytes(blob), key.bytes) != 0) {
        sodium_memzero(out.data(), out.size());
        return false;
    }
    out.resize(opened);
    *plain = std::move(out);
    return true;
}
