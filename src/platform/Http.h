// One HTTPS exchange with the service host on port 443: no cookies, no redirects, no automatic
// authentication, no connection reuse, one time-out for every phase, the response body held
// whole up to 32 MiB. Blocking; any thread. Throws std::runtime_error with "WinHTTP failed",
// "WinHTTP timeout setup failed", "WinHTTP security setup failed", "network error",
// "invalid HTTP response" or "response too large".
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Build settings (CMake cache variables of the same names).
#if !defined(OVRA_SERVICE_HOST) || !defined(OVRA_SERVICE_DOMAIN)
#error "OVRA_SERVICE_HOST and OVRA_SERVICE_DOMAIN come from the build"
#endif

inline constexpr char kServiceHost[] = OVRA_SERVICE_HOST;
// The service's registered domain: the host itself or a suffix of it at a dot.
inline constexpr char kServiceDomain[] = OVRA_SERVICE_DOMAIN;
inline constexpr char kAgentName[] = "Tamsel Ovra/0.1.0";
inline constexpr uint64_t kMaxResponseBody = 33554432;
inline constexpr int32_t kMaxRetryAfter = 3600;

// A Retry-After value read as a plain decimal count of seconds, capped at 3600; anything else
// ("120abc", "-5", a date) is 0.
int32_t ParseRetryAfter(std::string_view value);

struct HttpExchangeRequest {
    std::string verb;
    std::string path;
    // Complete header lines, each ending in CR LF, sent in this order.
    std::string headerBlock;
    std::string_view body;
    uint32_t timeoutMs = 60000;
};

struct HttpExchangeResult {
    int32_t status = 0;
    int32_t retryAfter = 0;
    std::string body;
};

HttpExchangeResult HttpExchange(const HttpExchangeRequest& request);

// Where a simulated service stands in for the real one: the exchange still names the service
// host (in the Host header, and in TLS where the platform allows), but connects to this port on
// the loopback interface and trusts this CA. Only a simulated host or a test sets it.
struct ServiceEndpoint {
    uint16_t port = 0;
    std::string caFile;  // PEM file of the throwaway CA
    // Every time-out is divided by this (1 keeps them), so that tests of them take seconds.
    uint32_t timeoutDivisor = 1;
};
// A port of 0 restores the real service.
void SetServiceEndpoint(const ServiceEndpoint& endpoint);
ServiceEndpoint CurrentServiceEndpoint();

// A stand-in for the network: when set, every exchange of the transport is answered by this
// function instead of HttpExchange, which may return any result or throw what HttpExchange
// throws. Only fuzz targets and tests set it, to feed the add-on service answers without a
// server; null (the default) restores the network.
using HttpExchangeFunction = HttpExchangeResult (*)(const HttpExchangeRequest& request);
void SetExchangeStandIn(HttpExchangeFunction standIn);
HttpExchangeFunction ExchangeStandIn();
