// The UI language, the project's key and names, and the "getState" and "setState" requests.
#include "panel/HostState.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <optional>

#include "host/HostApi.h"
#include "panel/Bridge.h"
#include "panel/Palette.h"
#include "panel/StateFiles.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "platform/System.h"
#include "platform/Utf.h"

std::u16string uiLanguage = u"en";

void SelectUiLanguage(std::string_view code) {
    if (code == "BRA" || code == "POR" || code == "PTB" || code == "PTG") {
        uiLanguage = u"pt-BR";
    } else if (code == "SPA" || code == "ESP") {
        uiLanguage = u"es";
    } else {
        const std::u16string locale = UserLocaleName();
        if (locale.rfind(u"pt", 0) == 0)
            uiLanguage = u"pt-BR";
        else if (locale.rfind(u"es", 0) == 0)
            uiLanguage = u"es";
        else
            uiLanguage = u"en";
    }
}

std::string PickByLanguage(std::string_view pt, std::string_view en, std::string_view es) {
    if (uiLanguage == u"pt-BR") return std::string(pt);
    if (uiLanguage == u"es") return std::string(es);
    return std::string(en);
}

const char* LanguageParameter() {
    if (uiLanguage == u"pt-BR") return "pt";
    if (uiLanguage == u"es") return "es";
    return "en";
}

std::string ProjectKey() {
    ProjectInfo info;
    if (Host().GetProjectInfo(&info) != kHostOk) return "none";
    std::string key = info.untitled ? "untitled:" : "file:";
    if (info.hasPath)
        key += Utf16ToUtf8(info.path);
    else if (info.hasName)
        key += Utf16ToUtf8(info.name);
    return key;
}

namespace {
// The saved project's path: the host answers, the project is not untitled and has a path.
std::optional<std::string> SavedProjectPath() {
    ProjectInfo info;
    if (Host().GetProjectInfo(&info) != kHostOk || info.untitled || !info.hasPath || info.path.empty())
        return std::nullopt;
    return Utf16ToUtf8(info.path);
}

// The page's state as stored, when it is a JSON object.
std::string StoredStateOrEmpty(const std::string& projectKey) {
    const auto stored = ReadStateFile(projectKey);
    if (!stored) return "{}";
    rapidjson::Document doc;
    doc.Parse(stored->data(), stored->size());
    return !doc.HasParseError() && doc.IsObject() ? *stored : "{}";
}

const char* Bool(bool value) { return value ? "true" : "false"; }
}  // namespace

std::string ProjectName() {
    ProjectInfo info;
    if (Host().GetProjectInfo(&info) == kHostOk && info.hasName && !info.name.empty()) return Utf16ToUtf8(info.name);
    return "Archicad";
}

std::string ModelFileName() {
    const auto path = SavedProjectPath();
    if (!path) return {};
    const size_t cut = path->find_last_of("\\/");
    return cut == std::string::npos ? *path : path->substr(cut + 1);
}

std::string ProjectFolder() {
    const auto path = SavedProjectPath();
    if (!path) return {};
    const size_t cut = path->find_last_of("\\/");
    if (cut == std::string::npos) return {};
    const std::string folder = path->substr(0, cut);
    return Files().IsFolder(folder) ? folder : std::string();
}

void GetState(Palette& palette, const std::string& id) {
    const std::string name = ProjectName();
    std::string json = "{\"state\":" + StoredStateOrEmpty(palette.projectKey);
    json += ",\"session\":{\"authenticated\":";
    json += Bool(!palette.token.empty());
    json += ",\"reason\":" + (palette.sessionReason.empty() ? std::string("null") : JsonQuote(palette.sessionReason));
    json += ",\"projectName\":" + JsonQuote(name) + "}";
    json += ",\"host\":{\"app\":\"archicad\",\"appVersion\":\"30\",\"platform\":\"win\",\"lang\":\"";
    json += LanguageParameter();
    json += "\",\"pluginVersion\":\"1.1.0\",\"capabilities\":{\"record\":false,\"previewPath\":false,"
            "\"pickFile\":true,\"place\":true,\"saveFiles\":true,\"batches\":false}}";
    json += ",\"model\":{\"fileName\":" + JsonQuote(ModelFileName());
    json += ",\"title\":" + JsonQuote(ProjectFolder().empty() ? std::string() : name) + "}}";
    ReplyOk(palette, id, json);
}

void SetState(Palette& palette, const std::string& id, const rapidjson::Value& payload) {
    const rapidjson::Value* state = nullptr;
    if (payload.IsObject()) {
        const auto it = payload.FindMember("state");
        if (it != payload.MemberEnd() && it->value.IsObject()) state = &it->value;
    }
    if (state == nullptr) {
        ReplyError(palette, id, MakeFailure("invalid_request", "", 0));
        return;
    }
    // Only a signed-in page, or one whose sign-in was revoked, keeps its state.
    if (palette.token.empty() && palette.sessionReason.empty()) {
        ReplyOk(palette, id, "{}");
        return;
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.SetMaxDecimalPlaces(10);
    state->Accept(writer);
    if (WriteStateFile(palette.projectKey, std::string_view(buffer.GetString(), buffer.GetSize())))
        ReplyOk(palette, id, "{}");
    else
        ReplyError(palette, id, MakeFailure("save_failed", "", 0));
}
