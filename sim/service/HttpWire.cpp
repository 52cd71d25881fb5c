// Reading HTTP/1.1 requests as they arrive and writing scripted answers.
#include "sim/service/HttpWire.h"

#include <algorithm>
#include <cctype>

namespace {
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeadEnd = "\r\n\r\n";

bool NameIs(std::string_view line, std::string_view name) {
    const size_t colon = line.find(':');
    if (colon != name.size()) return false;
    for (size_t i = 0; i < colon; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

bool AnyLineNamed(const std::vector<std::string>& lines, std::string_view name) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return NameIs(line, name); });
}

// The body length from every Content-Length line (all must agree); 0 without any. False when a
// value is not a plain decimal number or the values differ.
bool ContentLength(const RecordedRequest& request, uint64_t* length) {
    bool seen = false;
    *length = 0;
    for (const std::string& line : request.headerLines) {
        if (!NameIs(line, "content-length")) continue;
        std::string_view value = std::string_view(line).substr(line.find(':') + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
        if (value.empty() || value.size() > 15 ||
            !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const uint64_t parsed = std::stoull(std::string(value));
        if (seen && parsed != *length) return false;
        seen = true;
        *length = parsed;
    }
    return true;
}

void SplitHead(std::string_view head, RecordedRequest& request) {
    size_t at = 0;
    bool first = true;
    while (at <= head.size()) {
        size_t end = head.find(kLineEnd, at);
        if (end == std::string_view::npos) end = head.size();
        const std::string line(head.substr(at, end - at));
        if (first) request.requestLine = line;
        else request.headerLines.push_back(line);
        first = false;
        at = end + kLineEnd.size();
    }
}

bool ExpectsContinue(const RecordedRequest& request) {
    const std::optional<std::string> expect = request.Header("Expect");
    if (!expect || expect->size() != 12) return false;
    return std::equal(expect->begin(), expect->end(), "100-continue",
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}
}  // namespace

RequestOutcome ReadRequest(ByteStream& stream, RecordedRequest& request, const RequestLimits& limits) {
    std::string received;
    char buffer[16384];
    size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
        if (received.size() > limits.largestHead) return RequestOutcome::HeadTooLarge;
        const size_t n = stream.Read(buffer, sizeof buffer);
        if (n == 0) return RequestOutcome::NoRequest;
        // Look again only where the new bytes could complete the blank line.
        const size_t from = received.size() < 3 ? 0 : received.size() - 3;
        received.append(buffer, n);
        headEnd = received.find(kHeadEnd, from);
    }
    if (headEnd > limits.largestHead) return RequestOutcome::HeadTooLarge;
    SplitHead(std::string_view(received).substr(0, headEnd), request);
    request.body = received.substr(headEnd + kHeadEnd.size());

    if (AnyLineNamed(request.headerLines, "transfer-encoding")) {
        request.body.clear();
        return RequestOutcome::Chunked;
    }
    uint64_t length = 0;
    if (!ContentLength(request, &length)) {
        request.body.clear();
        return RequestOutcome::BadLength;
    }
    if (length > limits.largestBody) {
        request.body.clear();
        return RequestOutcome::BodyTooLarge;
    }
    if (length > 0 && request.body.empty() && ExpectsContinue(request) &&
        !stream.Write("HTTP/1.1 100 Continue\r\n\r\n"))
        return RequestOutcome::Truncated;
    // Bytes past the announced length belong to no request: the answer closes the connection.
    if (request.body.size() > length) request.body.resize(length);
    request.body.reserve(length);
    while (request.body.size() < length) {
        const size_t n = stream.Read(buffer, std::min<uint64_t>(sizeof buffer, length - request.body.size()));
        if (n == 0) return RequestOutcome::Truncated;
        request.body.append(buffer, n);
    }
    return RequestOutcome::Complete;
}

bool WriteAnswer(ByteStream& stream, const ScriptedAnswer& answer) {
    const uint64_t bodySize = answer.generatedBodySize ? *answer.generatedBodySize : answer.body.size();
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " +
                       (answer.reason.empty() ? std::string(ReasonPhrase(answer.status)) : answer.reason) + "\r\n";
    for (const std::string& line : answer.headerLines) head += line + "\r\n";
    if (!AnyLineNamed(answer.headerLines, "content-length"))
        head += "Content-Length: " + std::to_string(bodySize) + "\r\n";
    if (!AnyLineNamed(answer.headerLines, "connection")) head += "Connection: close\r\n";
    head += "\r\n";
    if (!answer.generatedBodySize) return stream.Write(head + answer.body);
    if (!stream.Write(head)) return false;

    // Every chunk starts at a multiple of the pattern's period, so one buffer serves them all.
    std::string chunk(26 * 2520, '\0');
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = GeneratedBodyByte(i);
    for (uint64_t sent = 0; sent < bodySize;) {
        const size_t size = static_cast<size_t>(std::min<uint64_t>(chunk.size(), bodySize - sent));
        if (!stream.Write(std::string_view(chunk).substr(0, size))) return false;
        sent += size;
    }
    return true;
}
