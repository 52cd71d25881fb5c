// The token store keeps nothing yet: every load finds no token.
#include "service/TokenStore.h"

std::string TokenStore::Load() { return {}; }
bool TokenStore::Save(const std::string&) { return false; }
bool TokenStore::Erase() { return true; }
