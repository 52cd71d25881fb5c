// The UI language and the project key. The state requests are answered "unsupported" until the
// per-project state files exist.
#include "panel/HostState.h"

#include "host/HostApi.h"
#include "panel/Bridge.h"
#include "platform/Locale.h"
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

void GetState(Palette& palette, const std::string& id) { ReplyError(palette, id, MakeFailure("unsupported", "", 0)); }

void SetState(Palette& palette, const std::string& id, const rapidjson::Value&) {
    ReplyError(palette, id, MakeFailure("unsupported", "", 0));
}
