// Fuzz target: service answers through the transport's checked call and the shaping of an "api"
// request's result, in the simulated host. The input is the answer the network gives in place:
//   byte 0     the request (its value modulo 8, the table below) and, in bits 3-4, how the
//              exchange ends: 0 or 3 an answer, 1 a connection failure, 2 out of memory
//   bytes 1-2  the status, big-endian
//   then       the Retry-After header's text up to the first LF, then the body
// The request runs as its worker runs it (on this thread, so every input runs alike), and its
// completion is delivered through the Mailbox to the page. Exactly one reply arrives; it is ok
// only for a success status whose body the request can use; an error reply has the code the
// answer stands for, with its retry-after within 0 to 3600 s; "signedOut" comes only with a
// "revoked" error of a request that carried a token; and no token reaches the page.
#include <rapidjson/document.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "fuzz/FuzzHost.h"
#include "handlers/service/ApiRequest.h"
#include "handlers/service/ServiceCall.h"
#include "panel/Mailbox.h"
#include "panel/Replies.h"
#include "platform/Http.h"
#include "platform/Images.h"
#include "platform/Utf.h"
#include "store/FileStore.h"

namespace {
using namespace FuzzBridge;

constexpr char kId[] = "answer";

struct Shape {
    const char* method;
    const char* path;
    bool withToken;
    bool binary;
    const char* body;  // JSON text, or null for none
    const char* idempotencyKey;
    bool noCache;
};

const Shape kShapes[8] = {
    {"GET", "/api/v1/me", true, false, nullptr, "", false},
    {"POST", "/api/v1/device/token", false, false, R"({"device_code":"dc_1"})", "", false},
    {"GET", "/files/job_1/result.png", true, true, nullptr, "", false},
    {"POST", "/api/v1/uploads", true, true, nullptr, "", false},
    {"DELETE", "/api/v1/device/tokens/current", true, false, nullptr, "", false},
    {"POST", "/api/v1/generations", true, false, R"({"upload_id":"upl_1","prompt":"dusk"})", "key-1", false},
    {"GET", "/api/v1/plugin/config", false, false, nullptr, "", false},
    {"GET", "/api/v1/jobs/job_1?wait=1", true, false, nullptr, "", true},
};

enum class Ending { Answer, ConnectionFails, OutOfMemory };

// The answer of the current input.
Ending gEnding = Ending::Answer;
HttpExchangeResult gAnswer;

HttpExchangeResult AnswerInPlace(const HttpExchangeRequest&) {
    if (gEnding == Ending::ConnectionFails) throw std::runtime_error("network error");
    if (gEnding == Ending::OutOfMemory) throw std::bad_alloc();
    return gAnswer;
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The token the body of a device-token answer names, as the add-on reads it.
std::string TokenIn(const std::string& body) {
    std::string copy = body;
    rapidjson::Document doc;
    doc.ParseInsitu(copy.data());
    const rapidjson::Value* token = doc.HasParseError() ? nullptr : Member(doc, "token");
    return token != nullptr && token->IsString() ? std::string(token->GetString(), token->GetStringLength()) : "";
}

// True when the value holds a number the parser read as infinite (one just past the largest
// double), which no JSON text can spell.
bool HoldsInfinity(const rapidjson::Value& value) {
    if (value.IsDouble()) return std::isinf(value.GetDouble());
    if (value.IsArray())
        for (const rapidjson::Value& item : value.GetArray())
            if (HoldsInfinity(item)) return true;
    if (value.IsObject())
        for (const auto& member : value.GetObject())
            if (HoldsInfinity(member.value)) return true;
    return false;
}

// A text of a reply as the page reads it: quoted in the reply's JSON, carried to the page as
// UTF-16 (bytes that are not UTF-8 become U+FFFD) and parsed there.
std::string AsThePageReadsIt(const std::string& text) {
    const std::string carried = Utf16ToUtf8(Utf8ToUtf16(JsonQuote(text)));
    rapidjson::Document doc;
    doc.Parse(carried.data(), carried.size());
    Check(!doc.HasParseError() && doc.IsString(), "a quoted text is a JSON string");
    return std::string(doc.GetString(), doc.GetStringLength());
}

void CheckError(const ScriptedPage::Message& reply, const std::string& code) {
    const rapidjson::Value* error = Member(*reply.document, "error");
    Check(!reply.Ok() && error != nullptr, "a failed request gets an error reply");
    if (reply.ErrorCode() != code) std::fprintf(stderr, "expected %s: %.300s\n", code.c_str(), reply.json.c_str());
    Check(reply.ErrorCode() == code, "the error reply names the code the answer stands for");
    if (const rapidjson::Value* retry = Member(*error, "retry_after"))
        Check(retry->IsUint() && retry->GetUint() >= 1 && retry->GetUint() <= kMaxRetryAfter,
              "retry_after is 1 to 3600 seconds when present");
}

void CheckSuccess(const Shape& shape, const ScriptedPage::Message& reply, const Palette& palette) {
    const std::string& body = gAnswer.body;
    const std::string_view path = shape.path;
    if (path == "/api/v1/device/token") {
        const std::string token = TokenIn(body);
        if (token.empty()) return CheckError(reply, "internal");
        Check(reply.Ok() && Contains(reply.json, R"("result":{"authenticated":true})"), "a sign-in answers authenticated");
        Check(palette.SignInState().Token().text() == token, "the palette holds the token the service gave");
        return;
    }
    if (shape.binary && std::string_view(shape.method) == "GET") {
        if (body.empty()) return CheckError(reply, "save_failed");
        const rapidjson::Value* result = Member(*reply.document, "result");
        const rapidjson::Value* ref = result ? Member(*result, "fileRef") : nullptr;
        const rapidjson::Value* url = result ? Member(*result, "dataUrl") : nullptr;
        Check(reply.Ok() && ref != nullptr && ref->IsString() && url != nullptr && url->IsString(),
              "a download answers its file reference and data URL");
        Check(std::string_view(url->GetString(), url->GetStringLength()).substr(0, 5) == "data:", "a data URL");
        std::string stored;
        Check(LoadFileRef(std::string(ref->GetString(), ref->GetStringLength()), &stored, kMaxSourceBytes) &&
                  stored == body,
              "the download is stored as received");
        return;
    }
    if (body.empty()) {
        Check(reply.Ok() && Contains(reply.json, R"("result":{})"), "an empty body answers {}");
        return;
    }
    rapidjson::Document doc;
    doc.Parse(body.data(), body.size());
    if (doc.HasParseError() || HoldsInfinity(doc)) return CheckError(reply, "internal");
    Check(reply.Ok(), "a JSON body answers ok");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    SimHost& host = StartedHost();
    SetExchangeStandIn(AnswerInPlace);
    Palette& palette = CurrentPaletteOrAbort();

    const Shape& shape = kShapes[data[0] % 8];
    const int endingBits = (data[0] >> 3) & 3;
    gEnding = endingBits == 1 ? Ending::ConnectionFails : endingBits == 2 ? Ending::OutOfMemory : Ending::Answer;
    const std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
    const size_t lineEnd = rest.find('\n');
    const std::string_view retryText = rest.substr(0, lineEnd);
    gAnswer = HttpExchangeResult{};
    gAnswer.status = (data[1] << 8) | data[2];
    gAnswer.retryAfter = ParseRetryAfter(retryText);
    gAnswer.body = lineEnd == std::string_view::npos ? std::string() : std::string(rest.substr(lineEnd + 1));

    // A download's preview takes time in proportion to the picture's area, which a few header
    // bytes can make as large as the decoders allow; pictures are the media target's work.
    int width = 0, height = 0;
    if (shape.binary && ReadImageSize(gAnswer.body, &width, &height) && int64_t{width} * height > (int64_t{1} << 22))
        return 0;

    ApiJob job;
    job.tag.id = kId;
    job.method = shape.method;
    job.path = shape.path;
    job.binary = shape.binary;
    job.idempotencyKey = shape.idempotencyKey;
    job.noCache = shape.noCache;
    if (shape.body != nullptr) {
        job.body = shape.body;
        job.hasJsonBody = true;
    }
    if (shape.binary && std::string_view(shape.method) != "GET") {
        job.fileRef = kPictureRef;
        job.contentType = "image/png";
        job.filename = "capture.png";
    }
    const bool signOut = std::string_view(shape.path) == "/api/v1/device/tokens/current";
    const SecretString token = shape.withToken ? palette.SignInState().Token() : SecretString();
    job.tag = RequestTag{kId, palette.MessageLoad(), signOut};
    if (signOut) palette.SignInState().SignOut();

    ScriptedPage& page = *host.Page();
    RunApi(ProcessMailbox(), job, token, u"en", signOut);
    Settle(host, 0);

    const Arrivals arrivals = CheckedArrivals(page, 0, 0);
    Check(arrivals.replies.size() == 1 && arrivals.replies.front()->Id() == kId, "exactly one reply to the request");
    const ScriptedPage::Message& reply = *arrivals.replies.front();
    const bool success = gAnswer.status >= 200 && gAnswer.status <= 299;
    if (signOut) {
        Check(reply.Ok() && Contains(reply.json, R"("result":{})"), "a sign-out always answers {}");
    } else if (gEnding != Ending::Answer) {
        CheckError(reply, "network");
    } else if (success) {
        CheckSuccess(shape, reply, palette);
    } else {
        const OvraApi::Error expected = ErrorFromResponse(HttpResponse{gAnswer.status, gAnswer.retryAfter, gAnswer.body}, !token.empty());
        CheckError(reply, AsThePageReadsIt(expected.code));
    }
    const bool revoked = !signOut && !reply.Ok() && reply.ErrorCode() == "revoked" && !token.empty();
    Check(arrivals.events.size() == (revoked ? 1u : 0u), "signedOut comes exactly with a revoked error");
    if (revoked)
        Check(!palette.SignInState().SignedIn() && palette.SignInState().Reason() == "revoked", "a revoked token signs out");

    // Neither the session's token nor one the service gave may reach the page, unless the
    // service's own answer spelled it out where the page is meant to read it.
    const std::string given = TokenIn(gAnswer.body);
    for (const std::string& script : page.Scripts()) {
        Check(!Contains(script, kSessionToken) || Contains(gAnswer.body, kSessionToken), "no session token in the page");
        if (given.size() >= 12 && std::string_view(shape.path) == "/api/v1/device/token")
            Check(!Contains(script, given), "no new token in the page");
    }
    ResetForNextInput(host);
    return 0;
}
