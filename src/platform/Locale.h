// The user's default locale name, such as "pt-BR" or "en_US.UTF-8"; empty when unknown.
#pragma once
#include <string>

std::u16string UserLocaleName();
