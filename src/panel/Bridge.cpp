// Native objects, dispatch of request texts by type, and the reply formats.
#include "panel/Bridge.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "output/Output.h"
#include "panel/HostState.h"
#include "panel/ModelOps.h"
#include "panel/Palette.h"
#include "platform/System.h"
#include "platform/Utf.h"
#include "selftest/SelfTest.h"
#include "service/ApiRequest.h"
#include "service/WebPages.h"
#include "shell/Log.h"
#include "views/Views.h"

namespace {
constexpr size_t kMaxIdBytes = 128;

NativeFunction MakeNativePost(Palette& palette) {
    Palette* target = &palette;
    const uint32_t hostThread = palette.hostThreadId;
    return [target, hostThread](const NativeArg& arg) {
        if (arg.kind != NativeArg::Kind::String) return true;
        if (CurrentThreadId() == hostThread) {
            Dispatch(*target, arg.text);
        } else {
            PostToHost(*ProcessMailbox(), [text = arg.text](Palette& p) { Dispatch(p, text); });
        }
        return true;
    };
}
}  // namespace

std::string StringMember(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject()) return {};
    auto it = object.FindMember(name);
    if (it == object.MemberEnd() || !it->value.IsString()) return {};
    return std::string(it->value.GetString(), it->value.GetStringLength());
}

namespace {
bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
}  // namespace

const rapidjson::Value& PayloadOf(const rapidjson::Value& request) {
    static const rapidjson::Value kNull;
    auto it = request.FindMember("payload");
    return it != request.MemberEnd() && it->value.IsObject() ? it->value : kNull;
}

void RegisterHost(Palette& palette) {
    palette.browser.RegisterNativeObject({"TamselAC", {{"post", MakeNativePost(palette)}}});
    palette.browser.RegisterNativeObject({"ACAPI", {{"TamselSend", MakeNativePost(palette)}}});
}

void UnregisterHost(Palette& palette) {
    palette.browser.UnregisterNativeObject("TamselAC");
    palette.browser.UnregisterNativeObject("ACAPI");
}

void Dispatch(Palette& palette, const std::string& text) {
    auto request = std::make_shared<rapidjson::Document>();
    request->Parse(text.data(), text.size());
    if (request->HasParseError() || !request->IsObject()) return;
    const std::string id = StringMember(*request, "id");
    if (id.empty() || id.size() > kMaxIdBytes) return;
    const std::string type = StringMember(*request, "type");
    const rapidjson::Value& payload = PayloadOf(*request);
    WriteLog("request " + type);

    if (type == "getState") {
        GetState(palette, id);
    } else if (type == "setState") {
        SetState(palette, id, payload);
    } else if (type == "openUrl") {
        HandleOpenUrl(palette, id, payload);
    } else if (type == "api") {
        HandleApi(palette, id, payload);
    } else if (IsModelOpType(type)) {
        palette.modelOps.push_back(ModelOp{id, std::move(request)});
    } else {
        ReplyError(palette, id, MakeFailure("unsupported", "", 0));
    }
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
    if (StartsWith(id, kSelfTestIdPrefix)) {
        SelfTestResult(palette, id, true, std::string(resultJson));
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
    if (StartsWith(id, kSelfTestIdPrefix)) {
        SelfTestResult(palette, id, false, error);
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
