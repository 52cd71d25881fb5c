// Error values of replies and the user message of each error code.
#pragma once
#include <cstdint>
#include <string>

// The error of a reply: code, the user message of the code, machine-readable reason, and the
// seconds to wait before retrying (0 when none, never negative).
struct Failure {
    std::string code;
    std::string message;
    std::string reason;
    int32_t retryAfter = 0;
};

// The user message for an error code, in the UI language.
std::string ErrorMessage(const std::string& code);

// A failure whose message is the ErrorMessage of its code.
Failure MakeFailure(const std::string& code, const std::string& reason, int32_t retryAfter);
