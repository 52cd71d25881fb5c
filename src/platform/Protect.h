// Protecting a secret for the current user: only the same user, with the same entropy, can
// read it back.
#pragma once
#include <string>
#include <string_view>

// The protected form of `plain`; false when it cannot be made.
bool ProtectForUser(std::string_view plain, std::string_view entropy, std::string* blob);
// The secret back from its protected form; false for a blob of another user or entropy, or a
// damaged one. The caller wipes `plain` when done.
bool UnprotectForUser(std::string_view blob, std::string_view entropy, std::string* plain);
