// Reply formats and their delivery to the page.
#include "panel/Replies.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "panel/Palette.h"
#include "panel/Upcalls.h"
#include "platform/Utf.h"
#include "store/Log.h"

namespace {
bool IsSelfTestId(std::string_view id) { return id.substr(0, kSelfTestIdPrefix.size()) == kSelfTestIdPrefix; }
}  // namespace

std::string StringMember(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject()) return {};
    auto it = object.FindMember(name);
    if (it == object.MemberEnd() || !it->value.IsString()) return {};
    return std::string(it->value.GetString(), it->value.GetStringLength());
}

const rapidjson::Value& PayloadOf(const rapidjson::Value& request) {
    static const rapidjson::Value kNull;
    auto it = request.FindMember("payload");
    return it != request.MemberEnd() && it->value.IsObject() ? it->value : kNull;
}

std::string JsonQuote(std::string_view text) {
    // Text with nothing to escape, such as a preview's data URL of a megabyte or more, is copied
    // whole: one pass that the compiler vectorises instead of RapidJSON's byte-by-byte writer.
    unsigned escapes = 0;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        escapes |= static_cast<unsigned>(u < 0x20) | static_cast<unsigned>(u == '"') | static_cast<unsigned>(u == '\\');
    }
    if (escapes == 0) {
        std::string quoted;
        quoted.reserve(text.size() + 2);
        quoted += '"';
        quoted.append(text);
        quoted += '"';
        return quoted;
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string ErrorObjectJson(const Failure& failure) {
    std::string json = "{\"code\":" + JsonQuote(failure.code) + ",\"message\":" + JsonQuote(failure.message);
    if (!failure.reason.empty()) json += ",\"reason\":" + JsonQuote(failure.reason);
    if (failure.retryAfter != 0) json += ",\"retry_after\":" + std::to_string(static_cast<uint32_t>(failure.retryAfter));
    json += '}';
    return json;
}

void ReplyOk(Palette& palette, const std::string& id, std::string_view resultJson) {
    if (IsSelfTestId(id)) {
        Upcalls().selfTestResult(palette, id, true, std::string(resultJson));
        return;
    }
    std::string reply = "{\"id\":" + JsonQuote(id) + ",\"ok\":true,\"result\":";
    reply.append(resultJson);
    reply += '}';
    SendToPage(palette, reply);
}

void ReplyError(Palette& palette, const std::string& id, const Failure& failure) {
    WriteLog("reply error " + failure.code);
    const std::string error = ErrorObjectJson(failure);
    if (IsSelfTestId(id)) {
        Upcalls().selfTestResult(palette, id, false, error);
        return;
    }
    SendToPage(palette, "{\"id\":" + JsonQuote(id) + ",\"ok\":false,\"error\":" + error + "}");
}

void SendToPage(Palette& palette, std::string_view json) {
    std::string script = "window.TamselBridge&&window.TamselBridge.receive(";
    script.append(json);
    script += ')';
    palette.browser.ExecuteScript(Utf8ToUtf16(script));
}
