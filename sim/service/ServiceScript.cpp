// Scripted answers and recorded requests of the simulated rendering service.
#include "sim/service/ServiceScript.h"

#include <cctype>

ScriptedAnswer ScriptedAnswer::Status(int status, std::string body, std::vector<std::string> headerLines) {
    ScriptedAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    answer.headerLines = std::move(headerLines);
    return answer;
}

ScriptedAnswer ScriptedAnswer::Generated(uint64_t size) {
    ScriptedAnswer answer;
    answer.generatedBodySize = size;
    return answer;
}

ScriptedAnswer ScriptedAnswer::DropConnection() {
    ScriptedAnswer answer;
    answer.action = Action::Drop;
    return answer;
}

ScriptedAnswer ScriptedAnswer::NeverAnswer() {
    ScriptedAnswer answer;
    answer.action = Action::Hold;
    return answer;
}

ScriptedAnswer DefaultAnswer() {
    return ScriptedAnswer::Status(404, R"({"error":{"code":"not_found","message":"Nothing is served at this path.","reason":"no_route"}})",
                                  {"Content-Type: application/json"});
}

std::string RecordedRequest::Method() const { return requestLine.substr(0, requestLine.find(' ')); }

std::string RecordedRequest::Target() const {
    const size_t start = requestLine.find(' ');
    if (start == std::string::npos) return {};
    const size_t end = requestLine.find(' ', start + 1);
    return requestLine.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

namespace {
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}
}  // namespace

std::optional<std::string> RecordedRequest::Header(std::string_view name) const {
    for (const std::string& line : headerLines) {
        const size_t colon = line.find(':');
        if (colon != std::string::npos && SameName(std::string_view(line).substr(0, colon), name))
            return std::string(Trim(std::string_view(line).substr(colon + 1)));
    }
    return std::nullopt;
}

std::string GeneratedBody(uint64_t size) {
    std::string body(size, '\0');
    for (uint64_t i = 0; i < size; ++i) body[i] = GeneratedBodyByte(i);
    return body;
}

std::string_view ReasonPhrase(int status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 201: return "Created";
        case 202: return "Accepted";
        case 204: return "No Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 303: return "See Other";
        case 304: return "Not Modified";
        case 307: return "Temporary Redirect";
        case 308: return "Permanent Redirect";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 402: return "Payment Required";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 409: return "Conflict";
        case 410: return "Gone";
        case 411: return "Length Required";
        case 413: return "Content Too Large";
        case 415: return "Unsupported Media Type";
        case 422: return "Unprocessable Content";
        case 426: return "Upgrade Required";
        case 428: return "Precondition Required";
        case 429: return "Too Many Requests";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 504: return "Gateway Timeout";
        default: return "Unknown";
    }
}
