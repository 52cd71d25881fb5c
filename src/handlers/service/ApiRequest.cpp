// Checking an "api" request on the host thread and starting its worker.
#include "handlers/service/ApiRequest.h"

#include <rapidjson/document.h>

#include <cstring>

#include "handlers/service/ServicePaths.h"
#include "panel/Language.h"
#include "panel/Palette.h"
#include "panel/Replies.h"
#include "panel/Worker.h"
#include "platform/Secure.h"
#include "platform/System.h"
#include "platform/Utf.h"
#include "store/FileStore.h"
#include "store/Log.h"
#include "store/StateFiles.h"

namespace {
constexpr size_t kMaxIdempotencyKey = 128;
constexpr size_t kMaxFilenameBytes = 120;
constexpr char kKeyCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.:";
constexpr char kContentTypeCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789/.+-";

const rapidjson::Value* Member(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject()) return nullptr;
    const auto it = object.FindMember(name);
    return it == object.MemberEnd() ? nullptr : &it->value;
}

bool BoolMember(const rapidjson::Value& object, const char* name, bool value) {
    const rapidjson::Value* member = Member(object, name);
    return member != nullptr && member->IsBool() && member->GetBool() == value;
}

bool OnlyFrom(std::string_view text, const char* allowed) {
    for (const char c : text)
        if (c == '\0' || std::strchr(allowed, c) == nullptr) return false;
    return true;
}

// Letters, digits and "-._~" stay; every other byte becomes "%" and two upper-case hex digits.
std::string PercentEncode(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// The device-start body: the page's members without "name" and "client", then those two; false
// as CompactJson is.
bool DeviceStartBody(const rapidjson::Value& body, std::string* text) {
    rapidjson::Document copy;
    copy.CopyFrom(body, copy.GetAllocator());
    // Every member of either name goes, duplicates included, so that the service reads no other.
    while (copy.RemoveMember("name")) {
    }
    while (copy.RemoveMember("client")) {
    }
    const std::string name = DeviceName();
    copy.AddMember("name", rapidjson::Value(name.c_str(), static_cast<rapidjson::SizeType>(name.size()), copy.GetAllocator()),
                   copy.GetAllocator());
    copy.AddMember("client", "archicad", copy.GetAllocator());
    return CompactJson(copy, text);
}

void Refuse(Palette& palette, const std::string& id, const char* code) {
    ReplyError(palette, id, MakeFailure(code, "", 0));
}
}  // namespace

bool PaidCallsBlocked() { return EnvironmentFlag("TAMSEL_OVRA_BLOCK_PAID", 8); }

std::string DeviceName() {
    const std::u16string name = ComputerName();
    return name.empty() ? "Archicad 30" : "Archicad 30 \xC2\xB7 " + Utf16ToUtf8(name);
}

void HandleApi(Palette& palette, const std::string& id, const rapidjson::Value& payload) {
    const std::string method = StringMember(payload, "method");
    std::string path = StringMember(payload, "path");
    if (method != "GET" && method != "POST" && method != "PUT" && method != "DELETE")
        return Refuse(palette, id, "invalid_request");
    if (!NormalizeServicePath(path)) return Refuse(palette, id, "invalid_request");

    static const rapidjson::Value kNoOptions(rapidjson::kObjectType);
    const rapidjson::Value* optionsMember = Member(payload, "options");
    const rapidjson::Value& options = optionsMember != nullptr && optionsMember->IsObject() ? *optionsMember : kNoOptions;
    ApiJob job;
    job.method = method;
    job.path = path;
    job.binary = BoolMember(options, "binary", true);
    job.idempotencyKey = StringMember(options, "idempotencyKey");
    if (!job.idempotencyKey.empty() &&
        (job.idempotencyKey.size() > kMaxIdempotencyKey || !OnlyFrom(job.idempotencyKey, kKeyCharacters)))
        return Refuse(palette, id, "invalid_request");

    const rapidjson::Value* body = Member(payload, "body");
    const bool hasBody = body != nullptr && !body->IsNull();
    const std::string base(BasePath(path));

    if (job.binary && method != "GET") {
        job.fileRef = hasBody ? StringMember(*body, "fileRef") : std::string();
        if (!IsValidFileRef(job.fileRef)) return Refuse(palette, id, "missing_file");
        job.contentType = StringMember(options, "contentType");
        if (job.contentType.empty() || job.contentType.size() > 100 ||
            !OnlyFrom(job.contentType, kContentTypeCharacters) || job.contentType.find('/') == std::string::npos)
            job.contentType = "application/octet-stream";
        job.filename = PercentEncode(std::string_view(StringMember(options, "filename")).substr(0, kMaxFilenameBytes));
        if (job.filename.empty()) job.filename = "upload.bin";
    } else if (hasBody) {
        // A body holding a number JSON cannot spell would go out cut short.
        const bool whole = base == "/api/v1/device/start" && body->IsObject() ? DeviceStartBody(*body, &job.body)
                                                                               : CompactJson(*body, &job.body);
        if (!whole) return Refuse(palette, id, "invalid_request");
        job.hasJsonBody = true;
    }

    if (PaidCallsBlocked() && method == "POST" &&
        IsPaidEndpoint(base)) {
        WriteLog("blocked paid call (test mode)");
        return Refuse(palette, id, "blocked");
    }

    const bool withoutToken = IsTokenFreeEndpoint(base) || BoolMember(options, "auth", false);
    job.noCache = BoolMember(options, "noCache", true);
    const bool signOut = IsSignOutEndpoint(base) && method == "DELETE";
    SecretString token = withoutToken ? SecretString() : palette.SignInState().Token();
    if (!withoutToken && token.empty()) return Refuse(palette, id, "revoked");

    if (signOut) {
        palette.SignInState().SignOut();
        DeleteStateFiles();
    }
    WriteLog("api " + method + " " + base + (job.binary ? " (binary)" : ""));

    // The sign-out has happened: whatever fails from here on, its answer is ok {}.
    job.tag = palette.HandOff();
    job.tag.okOnFailure = signOut;
    StartWorker(
        palette,
        [mailbox = ProcessMailbox(), job, token = std::move(token), language = uiLanguage,
         signOut]() -> PaletteFunction {
            RunApi(mailbox, job, token, language, signOut);
            return nullptr;
        },
        [signOut](Palette& p) {
            if (signOut) return ReplyOk(p, p.Serving().id, "{}");
            ReplyError(p, p.Serving().id, MakeFailure("network", "", 0));
        });
}
