// Failures and user messages. Every code gets the general message until the message table lands.
#include "service/Errors.h"

#include "panel/HostState.h"

std::string ErrorMessage(const std::string&) {
    return PickByLanguage("N\xC3\xA3o deu certo. Tente de novo.", "Something went wrong. Try again.",
                          "Algo sali\xC3\xB3 mal. Int\xC3\xA9ntalo de nuevo.");
}

Failure MakeFailure(const std::string& code, const std::string& reason, int32_t retryAfter) {
    return Failure{code, ErrorMessage(code), reason, retryAfter < 0 ? 0 : retryAfter};
}
