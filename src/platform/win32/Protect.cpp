// Win32: secrets protected with the data protection service for the current user, with the
// caller's entropy and no prompt ever shown.
#include <windows.h>
#include <dpapi.h>

#include "platform/Protect.h"
#include "platform/Secure.h"

namespace {
DATA_BLOB Blob(std::string_view bytes) {
    return DATA_BLOB{static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()))};
}

// The system's output buffer: overwritten with zeros, then freed, on every path.
struct OutputBlob {
    DATA_BLOB blob{0, nullptr};
    ~OutputBlob() {
        if (blob.pbData != nullptr) {
            SecureZero(blob.pbData, blob.cbData);
            ::LocalFree(blob.pbData);
        }
    }
};
}  // namespace

bool ProtectForUser(std::string_view plain, std::string_view entropy, std::string* blob) {
    if (plain.size() > 0xFFFFFFFFu) return false;
    DATA_BLOB in = Blob(plain);
    DATA_BLOB extra = Blob(entropy);
    OutputBlob out;
    if (!::CryptProtectData(&in, nullptr, &extra, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out.blob))
        return false;
    blob->assign(reinterpret_cast<const char*>(out.blob.pbData), out.blob.cbData);
    return true;
}

bool UnprotectForUser(std::string_view blob, std::string_view entropy, std::string* plain) {
    plain->clear();
    DATA_BLOB in = Blob(blob);
    DATA_BLOB extra = Blob(entropy);
    OutputBlob out;
    if (!::CryptUnprotectData(&in, nullptr, &extra, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out.blob))
        return false;
    plain->assign(reinterpret_cast<const char*>(out.blob.pbData), out.blob.cbData);
    return true;
}
