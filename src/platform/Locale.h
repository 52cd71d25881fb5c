// The user's default locale name, such as "pt-BR" or "en_US.UTF-8"; empty when unknown.
#pragma once
#include <optional>
#include <string>

std::u16string UserLocaleName();

// The operating system's answer, without the testing override.
std::u16string SystemUserLocaleName();

// Tests stand in for the user's locale, which a Windows process cannot change for itself;
// nullopt restores the system's.
void SetUserLocaleNameForTesting(std::optional<std::u16string> name);
