// Running an "api" request on its worker thread: the exchange, the shaping of its answer, and
// the steps that change the sign-in state on the host thread.
#include <rapidjson/document.h>

#include <stdexcept>

#include "handlers/service/ApiRequest.h"
#include "handlers/service/DownloadReply.h"
#include "handlers/service/ServiceCall.h"
#include "handlers/service/ServicePaths.h"
#include "panel/Mailbox.h"
#include "panel/Palette.h"
#include "panel/Replies.h"
#include "platform/Utf.h"
#include "store/FileStore.h"
#include "store/Images.h"
#include "store/Log.h"
#include "store/MediaTypes.h"

namespace {
constexpr uint32_t kRequestTimeoutMs = 60000;
constexpr uint32_t kUploadTimeoutMs = 300000;
constexpr uint32_t kDownloadTimeoutMs = 180000;

// Completions posted to the host thread; each answers the request once, unless the page that
// sent it has been replaced meanwhile.
void PostOk(Mailbox& mailbox, const RequestTag& tag, std::string_view result) {
    PostOkReply(mailbox, tag, PlainJson(result));
}

void PostFailure(Mailbox& mailbox, const RequestTag& tag, const std::string& code, const std::string& reason = "",
                 int32_t retryAfter = 0) {
    PostToHost(mailbox, tag,
               [failure = MakeFailure(code, reason, retryAfter)](Palette& p) { ReplyError(p, p.Serving().id, failure); });
}

// Signs the palette in with the token the service returned, and saves it, then answers. The save
// happens here, on the host thread, in the same order as every other change of the sign-in state:
// a revocation or a sign-out that runs before this step can then never delete a token that this
// step goes on to sign in with, and a sign-in that completes after release (its Mailbox closed)
// saves nothing. The sign-in is an event of its own, so that it holds even when the page that
// asked has been replaced and its answer is dropped.
void PostSignIn(Mailbox& mailbox, const RequestTag& tag, SecretString token) {
    PostToHost(mailbox, [token = std::move(token)](Palette& p) {
        const bool saved = p.SignInState().SignIn(token);
        WriteLog(saved ? "signed in; token saved" : "signed in; token kept in memory only");
    });
    PostOk(mailbox, tag, R"({"authenticated":true})");
}

// Signs the palette out when it still holds the token the service refused; a token obtained
// meanwhile is kept.
void PostRevocation(Mailbox& mailbox, const SecretString& refused) {
    PostToHost(mailbox, [refused](Palette& p) {
        if (p.SignInState().Revoke(refused)) SendToPage(p, R"({"event":"signedOut","data":{"reason":"revoked"}})");
    });
}

// The token of a device-token answer, parsed in place so that the only copies are the body
// itself (wiped here) and the returned secret.
SecretString TakeToken(std::string& body) {
    std::string token;
    {
        rapidjson::Document doc;
        doc.ParseInsitu(body.data());
        if (!doc.HasParseError() && doc.IsObject()) {
            const rapidjson::Value& root = doc;
            const auto it = root.FindMember("token");
            if (it != root.MemberEnd() && it->value.IsString())
                token.assign(it->value.GetString(), it->value.GetStringLength());
        }
    }
    SecureWipe(body);
    // Copied, not moved: a short token sits inside the string itself, and moving would leave
    // its bytes behind unwiped.
    SecretString secret(token);
    SecureWipe(token);
    return secret;
}

void Exchange(Mailbox& mailbox, const ApiJob& job, const SecretString& token, const std::u16string& language,
              bool signOut) {
    const bool upload = job.binary && job.method != "GET";
    const bool download = job.binary && job.method == "GET";
    uint32_t timeoutMs = kRequestTimeoutMs;
    std::string headers;
    std::string body;
    if (upload) {
        if (!LoadFileRef(job.fileRef, &body, kMaxSourceBytes)) return PostFailure(mailbox, job.tag, "missing_file");
        headers = "Content-Type: " + job.contentType + "\r\nx-filename: " + job.filename + "\r\n";
        timeoutMs = kUploadTimeoutMs;
    } else if (job.hasJsonBody) {
        body = job.body;
        headers = "Content-Type: application/json\r\n";
    }
    if (download) timeoutMs = kDownloadTimeoutMs;
    if (!job.idempotencyKey.empty()) headers += "Idempotency-Key: " + job.idempotencyKey + "\r\n";
    if (job.noCache) headers += "Cache-Control: no-cache\r\n";

    HttpResponse response =
        CallService(Utf8ToUtf16(job.method), job.path, token.text(), language, body, Utf8ToUtf16(headers), timeoutMs);
    if (signOut) return PostOk(mailbox, job.tag, "{}");
    const std::string_view base = BasePath(job.path);
    if (base == "/api/v1/device/token") {
        SecretString newToken = TakeToken(response.body);
        if (newToken.empty()) return PostFailure(mailbox, job.tag, "internal");
        return PostSignIn(mailbox, job.tag, std::move(newToken));
    }
    if (download) {
        StoredDownload stored;
        if (!StoreDownload(response.body, &stored)) return PostFailure(mailbox, job.tag, "save_failed");
        return PostDownload(mailbox, job.tag, response.body, stored);
    }
    if (response.body.empty()) return PostOk(mailbox, job.tag, "{}");
    rapidjson::Document doc;
    doc.Parse(response.body.data(), response.body.size());
    // A body that is not JSON, or holds a number past the largest double, is no answer the page
    // can read.
    std::string result;
    if (doc.HasParseError() || !CompactJson(doc, &result)) return PostFailure(mailbox, job.tag, "internal");
    PostOk(mailbox, job.tag, result);
}
}  // namespace

void RunApi(const std::shared_ptr<Mailbox>& mailbox, const ApiJob& job, const SecretString& token,
            const std::u16string& language, bool signOut) {
    try {
        Exchange(*mailbox, job, token, language, signOut);
    } catch (const OvraApi::Error& e) {
        if (signOut) return PostOk(*mailbox, job.tag, "{}");
        if (e.code == "revoked" && !token.empty()) PostRevocation(*mailbox, token);
        PostFailure(*mailbox, job.tag, e.code, e.reason, e.retryAfter);
    } catch (const std::invalid_argument&) {
        if (signOut) return PostOk(*mailbox, job.tag, "{}");
        PostFailure(*mailbox, job.tag, "invalid_request");
    } catch (...) {
        if (signOut) return PostOk(*mailbox, job.tag, "{}");
        PostFailure(*mailbox, job.tag, "network");
    }
}
