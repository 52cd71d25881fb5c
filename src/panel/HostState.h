// Host state: the UI language, the project's key and names, and the "getState" and "setState"
// requests. Host thread only, except that `uiLanguage` is read (never written) by workers.
#pragma once
#include <rapidjson/fwd.h>

#include <string>
#include <string_view>

class Palette;

// "pt-BR", "es" or "en"; written only before any palette exists.
extern std::u16string uiLanguage;

// Chooses `uiLanguage` from the host's three-letter language code, else the user's locale.
void SelectUiLanguage(std::string_view hostLanguageCode);

// The text for `uiLanguage`, from three given in the order Portuguese, English, Spanish.
std::string PickByLanguage(std::string_view pt, std::string_view en, std::string_view es);

// "pt", "es" or "en".
const char* LanguageParameter();

// "untitled:" or "file:" followed by the project's path, else its name; "none" when the host
// cannot say.
std::string ProjectKey();
// The project's name; "Archicad" when the host gives none.
std::string ProjectName();
// The saved project's file name; empty for an unsaved project.
std::string ModelFileName();
// The saved project's folder when it exists; empty otherwise.
std::string ProjectFolder();

void GetState(Palette& palette, const std::string& id);
void SetState(Palette& palette, const std::string& id, const rapidjson::Value& payload);
