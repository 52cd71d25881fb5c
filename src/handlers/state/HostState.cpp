// The "getState" and "setState" requests.
#include "handlers/state/HostState.h"

#include <rapidjson/document.h>

#include "panel/Language.h"
#include "panel/Palette.h"
#include "panel/Project.h"
#include "panel/Replies.h"
#include "store/StateFiles.h"

namespace {
// The page's state as stored, when it is a JSON object whose text opens with "{" after JSON
// whitespace. Anything else (a stray byte or a byte-order mark before the object, which the
// parser would skip) is not spliced into the reply, where it would break the script. Nor is a
// text holding a NUL byte: the parser takes one for the end of the text, so whatever follows it
// would be spliced unread.
std::string StoredStateOrEmpty(const std::string& projectKey) {
    const auto stored = ReadStateFile(projectKey);
    if (!stored || stored->find('\0') != std::string::npos) return "{}";
    const size_t first = stored->find_first_not_of(" \t\r\n");
    if (first == std::string::npos || (*stored)[first] != '{') return "{}";
    rapidjson::Document doc;
    doc.Parse(stored->data(), stored->size());
    return !doc.HasParseError() && doc.IsObject() ? *stored : "{}";
}

const char* Bool(bool value) { return value ? "true" : "false"; }
}  // namespace

void GetState(Palette& palette, const std::string& id) {
    const std::string name = ProjectName();
    const Session& session = palette.SignInState();
    std::string json = "{\"state\":" + StoredStateOrEmpty(palette.PageProjectKey());
    json += ",\"session\":{\"authenticated\":";
    json += Bool(session.SignedIn());
    json += ",\"reason\":" + (session.Reason().empty() ? std::string("null") : JsonQuote(session.Reason()));
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
    // A state holding a number JSON cannot spell would be kept cut short, and read back as none.
    std::string text;
    if (state == nullptr || !CompactJson(*state, &text)) {
        ReplyError(palette, id, MakeFailure("invalid_request", "", 0));
        return;
    }
    // Only a signed-in page, or one whose sign-in was revoked, keeps its state.
    if (!palette.SignInState().SignedIn() && palette.SignInState().Reason().empty()) {
        ReplyOk(palette, id, "{}");
        return;
    }
    if (WriteStateFile(palette.PageProjectKey(), text))
        ReplyOk(palette, id, "{}");
    else
        ReplyError(palette, id, MakeFailure("save_failed", "", 0));
}
