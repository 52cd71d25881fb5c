// Reading HTTP/1.1 requests as they arrive and writing scripted answers.
#include "sim/service/HttpWire.h"

#include <algorithm>
#include <cctype>
#include <iterator>

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
    // Bytes past the announced length belong to no request: the service takes no pipelined requests.
    if (request.body.size() > length) request.body.resize(length);
    request.body.reserve(length);
    while (request.body.size() < length) {
        const size_t n = stream.Read(buffer, std::min<uint64_t>(sizeof buffer, length - request.body.size()));
        if (n == 0) return RequestOutcome::Truncated;
        request.body.append(buffer, n);
    }
    return RequestOutcome::Complete;
}

namespace {
// The sizes of the chunks of a chunked body and of the writes of an uneven one, taken in turn: a
// single byte, a few, some that cut a TLS record, and whole records.
constexpr size_t kChunkSizes[] = {1000, 7, 16384, 333, 65000, 1, 4096, 24000};
constexpr size_t kPieceSizes[] = {1, 613, 4096, 17, 32768, 1500, 65536, 9000, 3, 24000, 250};
// An uneven body pauses after every this many writes, for 1 to 3 ms in turn.
constexpr size_t kPiecesBetweenPauses = 16;
// The largest run of body bytes taken at once.
constexpr size_t kLargestRun = 65536;

// The body's bytes, read a run at a time.
class BodySource {
public:
    explicit BodySource(const ScriptedAnswer& answer) : answer_(answer) {
        if (!answer.generatedBodySize) return;
        // Every run starts inside the pattern's first period, so one buffer serves them all.
        pattern_.resize(kLargestRun + 26);
        for (size_t i = 0; i < pattern_.size(); ++i) pattern_[i] = GeneratedBodyByte(i);
    }
    uint64_t Size() const { return answer_.generatedBodySize ? *answer_.generatedBodySize : answer_.body.size(); }
    // `size` (at most kLargestRun) bytes from `offset`.
    std::string_view Run(uint64_t offset, size_t size) const {
        if (!answer_.generatedBodySize) return std::string_view(answer_.body).substr(offset, size);
        return std::string_view(pattern_).substr(static_cast<size_t>(offset % 26), size);
    }

private:
    const ScriptedAnswer& answer_;
    std::string pattern_;
};

// Writes whole, or in pieces of varying sizes with short pauses between some of them.
class Pacer {
public:
    Pacer(ByteStream& stream, bool uneven) : stream_(stream), uneven_(uneven) {}
    bool Put(std::string_view bytes) {
        if (!uneven_) return stream_.Write(bytes);
        while (!bytes.empty()) {
            const size_t size = std::min(bytes.size(), kPieceSizes[pieces_ % std::size(kPieceSizes)]);
            if (!stream_.Write(bytes.substr(0, size))) return false;
            bytes.remove_prefix(size);
            if (++pieces_ % kPiecesBetweenPauses == 0 &&
                !stream_.Pause(std::chrono::milliseconds(1 + pieces_ / kPiecesBetweenPauses % 3)))
                return false;
        }
        return true;
    }

private:
    ByteStream& stream_;
    bool uneven_;
    uint64_t pieces_ = 0;
};

std::string Hex(uint64_t value) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0);
    return text;
}
}  // namespace

bool WriteAnswer(ByteStream& stream, const ScriptedAnswer& answer) {
    const BodySource body(answer);
    const uint64_t bodySize = body.Size();
    // Answers that carry no body are never framed as chunked.
    const bool chunked = answer.chunked && answer.status >= 200 && answer.status != 204 && answer.status != 304 &&
                         !AnyLineNamed(answer.headerLines, "content-length");
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " +
                       (answer.reason.empty() ? std::string(ReasonPhrase(answer.status)) : answer.reason) + "\r\n";
    for (const std::string& line : answer.headerLines) head += line + "\r\n";
    if (chunked) {
        if (!AnyLineNamed(answer.headerLines, "transfer-encoding")) head += "Transfer-Encoding: chunked\r\n";
    } else if (!AnyLineNamed(answer.headerLines, "content-length")) {
        head += "Content-Length: " + std::to_string(bodySize) + "\r\n";
    }
    if (!AnyLineNamed(answer.headerLines, "connection"))
        head += answer.keepAlive ? "Connection: keep-alive\r\nKeep-Alive: timeout=5\r\n" : "Connection: close\r\n";
    head += "\r\n";
    if (!chunked && !answer.uneven && !answer.generatedBodySize) return stream.Write(head + answer.body);

    Pacer out(stream, answer.uneven);
    if (!out.Put(head)) return false;
    size_t runs = 0;
    for (uint64_t sent = 0; sent < bodySize; ++runs) {
        const size_t want = chunked ? kChunkSizes[runs % std::size(kChunkSizes)] : kLargestRun - 16;
        const size_t size = static_cast<size_t>(std::min<uint64_t>(want, bodySize - sent));
        const std::string_view run = body.Run(sent, size);
        if (chunked ? !out.Put(Hex(size) + "\r\n" + std::string(run) + "\r\n") : !out.Put(run)) return false;
        sent += size;
    }
    return !chunked || out.Put("0\r\n\r\n");
}
