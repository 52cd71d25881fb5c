// Fuzz target: service answers that are not a success. The input is a status (2 bytes), a
// Retry-After header value (2 bytes, already capped as the transport caps it), a token flag
// (1 byte) and the body. Parsing never throws, always gives a code, and keeps the retry-after
// within 0 to 3600 seconds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "handlers/service/ServiceCall.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    HttpResponse response;
    response.status = (data[0] << 8) | data[1];
    response.retryAfter = ((data[2] << 8) | data[3]) % (kMaxRetryAfter + 1);
    const bool hadToken = (data[4] & 1) != 0;
    response.body.assign(reinterpret_cast<const char*>(data + 5), size - 5);
    try {
        const OvraApi::Error error = ErrorFromResponse(response, hadToken);
        if (error.code.empty() || error.retryAfter < 0 || error.retryAfter > kMaxRetryAfter ||
            error.status != response.status)
            std::abort();
    } catch (...) {
        std::abort();
    }
    return 0;
}
