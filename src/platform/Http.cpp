// The parts of the HTTPS exchange common to both platforms: the Retry-After rule, the
// simulated service's endpoint when one stands in for the real service, and the stand-in that
// answers in place of the network.
#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/Http.h"

namespace {
std::mutex gEndpointMutex;
ServiceEndpoint gEndpoint;
std::atomic<HttpExchangeFunction> gStandIn{nullptr};
}  // namespace

void SetServiceEndpoint(const ServiceEndpoint& endpoint) {
    std::lock_guard<std::mutex> lock(gEndpointMutex);
    gEndpoint = endpoint;
}

ServiceEndpoint CurrentServiceEndpoint() {
    std::lock_guard<std::mutex> lock(gEndpointMutex);
    return gEndpoint;
}

void SetExchangeStandIn(HttpExchangeFunction standIn) { gStandIn.store(standIn, std::memory_order_release); }

HttpExchangeFunction ExchangeStandIn() { return gStandIn.load(std::memory_order_acquire); }

int32_t ParseRetryAfter(std::string_view value) {
    const size_t first = value.find_first_not_of(" \t");
    const size_t last = value.find_last_not_of(" \t");
    if (first == std::string_view::npos) return 0;
    value = value.substr(first, last - first + 1);
    uint64_t seconds = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') return 0;
        seconds = std::min<uint64_t>(seconds * 10 + static_cast<uint64_t>(c - '0'), kMaxRetryAfter + 1);
    }
    return static_cast<int32_t>(std::min<uint64_t>(seconds, kMaxRetryAfter));
}
