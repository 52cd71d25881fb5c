// The UI language: chosen once at start-up from the host's language, else the user's locale.
// Host thread only, except that `uiLanguage` is read (never written) by workers.
#pragma once
#include <string>
#include <string_view>

// "pt-BR", "es" or "en"; written only before any palette exists.
extern std::u16string uiLanguage;

// Chooses `uiLanguage` from the host's three-letter language code, else the user's locale.
void SelectUiLanguage(std::string_view hostLanguageCode);

// The text for `uiLanguage`, from three given in the order Portuguese, English, Spanish.
std::string PickByLanguage(std::string_view pt, std::string_view en, std::string_view es);

// "pt", "es" or "en".
const char* LanguageParameter();
