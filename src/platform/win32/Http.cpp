// Win32: the HTTPS exchange on WinHTTP, one session, connection and request per call.
#include <windows.h>
#include <winhttp.h>

#include <stdexcept>
#include <utility>

#include "platform/Http.h"
#include "platform/Secure.h"
#include "platform/win32/Wide.h"

namespace {
// One WinHTTP handle, closed on every path.
class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_ != nullptr) ::WinHttpCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

bool QueryNumber(HINTERNET request, DWORD query, DWORD* value) {
    DWORD size = sizeof *value;
    return ::WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, value,
                                 &size, WINHTTP_NO_HEADER_INDEX) != FALSE;
}

// A header's value as text; empty when the response has no such header.
std::wstring QueryText(HINTERNET request, DWORD query) {
    DWORD size = 0;
    ::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                          WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (!::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                               WINHTTP_NO_HEADER_INDEX))
        return {};
    value.resize(size / sizeof(wchar_t));
    return value;
}

// The whole body, checked against the limit before each chunk is read.
std::string ReadBody(HINTERNET request) {
    std::string body;
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request, &available)) throw std::runtime_error("network error");
    while (available != 0) {
        const size_t held = body.size();
        if (kMaxResponseBody - held < available) throw std::runtime_error("response too large");
        body.resize(held + available);
        DWORD read = 0;
        if (!::WinHttpReadData(request, body.data() + held, available, &read)) throw std::runtime_error("network error");
        body.resize(held + read);
        if (read == 0) break;
        if (!::WinHttpQueryDataAvailable(request, &available)) throw std::runtime_error("network error");
    }
    return body;
}
}  // namespace

HttpExchangeResult HttpExchange(const HttpExchangeRequest& request) {
    const ServiceEndpoint endpoint = CurrentServiceEndpoint();
    // A simulated service listens on loopback under the name "localhost", which its throwaway
    // certificate carries; the Host header still names the service host.
    const bool simulated = endpoint.port != 0;
    const std::wstring host = simulated ? std::wstring(L"localhost") : Wide(kServiceHost);
    const INTERNET_PORT port = simulated ? endpoint.port : INTERNET_PORT{443};

    const InternetHandle session(::WinHttpOpen(Wide(kAgentName).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) throw std::runtime_error("WinHTTP failed");
    const int timeout = static_cast<int>(request.timeoutMs);
    if (!::WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout))
        throw std::runtime_error("WinHTTP timeout setup failed");
    const InternetHandle connection(::WinHttpConnect(session.get(), host.c_str(), port, 0));
    if (!connection) throw std::runtime_error("WinHTTP failed");
    const InternetHandle exchange(::WinHttpOpenRequest(connection.get(), Wide(request.verb).c_str(),
                                                       Wide(request.path).c_str(), nullptr, WINHTTP_NO_REFERER,
                                                       WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
    if (!exchange) throw std::runtime_error("WinHTTP failed");
    // One connection an exchange: WinHTTP would otherwise keep a connection the server leaves open
    // for the next exchange, even one of another session.
    DWORD disabled = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_AUTHENTICATION |
                     WINHTTP_DISABLE_KEEP_ALIVE;
    if (!::WinHttpSetOption(exchange.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled))
        throw std::runtime_error("WinHTTP security setup failed");
    if (simulated) {
        const std::wstring hostHeader = L"Host: " + Wide(kServiceHost);
        if (!::WinHttpAddRequestHeaders(exchange.get(), hostHeader.c_str(), static_cast<DWORD>(hostHeader.size()),
                                        WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
            throw std::runtime_error("WinHTTP security setup failed");
    }

    // The UTF-16 copy of the header block holds the token too.
    std::wstring headers = Wide(request.headerBlock);
    const WipeOnExit wipeHeaders(headers);
    const auto bodySize = static_cast<DWORD>(request.body.size());
    LPVOID body = request.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(request.body.data());
    if (!::WinHttpSendRequest(exchange.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                              static_cast<DWORD>(headers.size()), body, bodySize, bodySize, 0) ||
        !::WinHttpReceiveResponse(exchange.get(), nullptr))
        throw std::runtime_error("network error");

    HttpExchangeResult result;
    DWORD status = 0;
    if (!QueryNumber(exchange.get(), WINHTTP_QUERY_STATUS_CODE, &status)) throw std::runtime_error("invalid HTTP response");
    result.status = static_cast<int32_t>(status);
    // Read as text and parsed as a plain decimal count, so "120abc" or a date counts as absent
    // here as on every other platform.
    result.retryAfter = ParseRetryAfter(Narrow(QueryText(exchange.get(), WINHTTP_QUERY_RETRY_AFTER)));
    result.body = ReadBody(exchange.get());
    return result;
}
