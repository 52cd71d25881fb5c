// The request checks, the header block and the Retry-After rule of the HTTPS transport; the
// exchange itself is the platform's.
#include "handlers/service/HttpTransport.h"

#include <algorithm>
#include <stdexcept>

#include "platform/Http.h"
#include "platform/Secure.h"
#include "platform/Utf.h"

namespace {
bool HasLineBreak(std::u16string_view text) { return text.find_first_of(u"\r\n") != std::u16string_view::npos; }
bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

std::string ToUtf8Strict(std::string_view text) {
    if (!text.empty() && !Utf8ToUtf16Strict(text)) throw std::runtime_error("invalid UTF-8");
    return std::string(text);
}
}  // namespace

std::string RequestHeaderBlock(const std::string& token, const std::u16string& acceptLanguage,
                               const std::u16string& extraHeaders) {
    // The token is checked in place and written once, into a block reserved to its final size:
    // no other copy of it is made, and the block never moves (leaving a freed copy) while it
    // holds it. The caller wipes the block.
    if (!IsValidUtf8(token)) throw std::runtime_error("invalid UTF-8");
    constexpr std::string_view kPlugin = "X-Ovra-Plugin: ", kLanguage = "\r\nAccept-Language: ",
                               kBearer = "Authorization: Bearer ", kEnd = "\r\n";
    const std::string plugin = ToUtf8Strict(kPluginIdentification);
    const std::string language = Utf16ToUtf8(acceptLanguage);
    const std::string extra = Utf16ToUtf8(extraHeaders);
    std::string block;
    block.reserve(kPlugin.size() + plugin.size() + kLanguage.size() + language.size() + kEnd.size() +
                  (token.empty() ? 0 : kBearer.size() + token.size() + kEnd.size()) + extra.size());
    block.append(kPlugin).append(plugin).append(kLanguage).append(language).append(kEnd);
    if (!token.empty()) block.append(kBearer).append(token).append(kEnd);
    block.append(extra);
    return block;
}

HttpResponse SendRequest(const std::u16string& verb, const std::u16string& path, const std::string& token,
                         const std::u16string& acceptLanguage, const std::string& body,
                         const std::u16string& extraHeaders, uint32_t timeoutMs) {
    if (path.empty() || path[0] != u'/' || (path.size() >= 2 && path[1] == u'/') || HasLineBreak(path) ||
        HasLineBreak(token) || HasLineBreak(acceptLanguage) || body.size() > kMaxRequestBody)
        throw std::invalid_argument("invalid HTTP request");
    HttpExchangeRequest request;
    request.verb = Utf16ToUtf8(verb);
    request.path = Utf16ToUtf8(path);
    // The header block holds the token: it is wiped however the exchange ends.
    const WipeOnExit wipe(request.headerBlock);
    request.headerBlock = RequestHeaderBlock(token, acceptLanguage, extraHeaders);
    request.body = body;
    // A simulated service may shorten every time-out, so tests of them take seconds; the real
    // service (port 0) never does.
    const ServiceEndpoint endpoint = CurrentServiceEndpoint();
    request.timeoutMs = endpoint.port != 0 && endpoint.timeoutDivisor > 1 ? std::max(1u, timeoutMs / endpoint.timeoutDivisor)
                                                                          : timeoutMs;
    const HttpExchangeFunction standIn = ExchangeStandIn();
    HttpExchangeResult result = standIn != nullptr ? standIn(request) : HttpExchange(request);
    return HttpResponse{result.status, result.retryAfter, std::move(result.body)};
}
