// The UI language and the choice of a text by it.
#include "panel/Language.h"

#include "platform/Locale.h"

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
