// The checked service call: a success passes through; any other answer becomes an
// OvraApi::Error with the service's code, reason and retry-after.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "handlers/service/HttpTransport.h"

namespace OvraApi {

// A service answer that is not a success. what() is the error code.
struct Error : std::runtime_error {
    Error(std::string errorCode, std::string errorReason, int32_t httpStatus, int32_t retry)
        : std::runtime_error(errorCode),
          code(std::move(errorCode)),
          reason(std::move(errorReason)),
          status(httpStatus),
          retryAfter(retry) {}
    std::string code;
    std::string reason;
    int32_t status;
    int32_t retryAfter;
};

}  // namespace OvraApi

// The error that a response with a status outside 200-299 stands for; `hadToken` tells whether
// the request carried a token. Never throws.
OvraApi::Error ErrorFromResponse(const HttpResponse& response, bool hadToken);

// SendRequest, returning the response when its status is 200 to 299 and throwing
// OvraApi::Error otherwise; the transport's own exceptions pass through.
HttpResponse CallService(const std::u16string& verb, const std::string& path, const std::string& token,
                         const std::u16string& acceptLanguage, const std::string& body,
                         const std::u16string& extraHeaders, uint32_t timeoutMs);
