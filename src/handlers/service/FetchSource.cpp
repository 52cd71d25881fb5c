// Fetching a placing or saving source from the store or from the service.
#include "handlers/service/FetchSource.h"

#include "handlers/service/ServiceCall.h"
#include "handlers/service/ServicePaths.h"
#include "store/FileStore.h"

namespace {
constexpr uint32_t kFetchTimeoutMs = 180000;
}

bool FetchSource(const Source& source, const SecretString& token, const std::u16string& language, std::string* bytes,
                 std::string* code) {
    bytes->clear();
    if (!source.fileRef.empty()) {
        if (IsValidFileRef(source.fileRef) && LoadFileRef(source.fileRef, bytes, kMaxSourceBytes)) return true;
        *code = "missing_file";
        return false;
    }
    std::string path = source.path;
    if (!NormalizeServicePath(path)) {
        *code = "invalid_request";
        return false;
    }
    // The endpoints that take no token get none, here as from an "api" request.
    const bool withoutToken = IsTokenFreeEndpoint(BasePath(path));
    if (!withoutToken && token.empty()) {
        *code = "revoked";
        return false;
    }
    try {
        *bytes = CallService(u"GET", path, withoutToken ? std::string() : token.text(), language, "", u"",
                             kFetchTimeoutMs)
                     .body;
    } catch (const OvraApi::Error& e) {
        *code = e.code;
        return false;
    } catch (...) {
        *code = "network";
        return false;
    }
    if (bytes->empty()) {
        *code = "missing_file";
        return false;
    }
    return true;
}
