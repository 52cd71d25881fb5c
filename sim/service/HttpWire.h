// HTTP/1.1 on the wire for the simulated service and its control interface: reading one request
// exactly as it arrives, and writing one answer framed and paced as its script says.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/service/ServiceScript.h"

// Where the bytes go: a TLS session or a plain socket.
class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Reads up to `size` bytes; 0 when the peer closed, the read failed or timed out, or the
    // server is stopping.
    virtual size_t Read(char* buffer, size_t size) = 0;
    // Writes every byte; false when it could not.
    virtual bool Write(std::string_view bytes) = 0;
    // Waits between two writes; false when the server is stopping.
    virtual bool Pause(std::chrono::milliseconds duration) = 0;
};

struct RequestLimits {
    size_t largestHead = 64 * 1024;
    uint64_t largestBody = uint64_t{256} << 20;
};

enum class RequestOutcome {
    Complete,      // the head and the whole Content-Length body
    NoRequest,     // the connection ended before a whole head arrived
    HeadTooLarge,  // no blank line within the head limit
    Truncated,     // the connection ended inside the body; `body` holds what arrived
    Chunked,       // a Transfer-Encoding line: the body is not read
    BadLength,     // a Content-Length that is not one decimal number: the body is not read
    BodyTooLarge,  // a Content-Length above the body limit: the body is not read
};

// Reads one request into `request` (request line, header lines without their CR LF, body). The
// head is filled for every outcome but NoRequest and HeadTooLarge. A request that carries
// "Expect: 100-continue" and a body is sent the interim "100 Continue" before its body is read.
RequestOutcome ReadRequest(ByteStream& stream, RecordedRequest& request, const RequestLimits& limits);

// Writes the status line, the scripted header lines, then Content-Length (Transfer-Encoding when
// the answer is chunked) and "Connection: close" (keep-alive when the answer keeps it) unless a
// scripted line names them, a blank line and the body: generated bodies are streamed, chunked
// ones go in chunks of varying sizes, uneven ones in writes of varying sizes with short pauses.
bool WriteAnswer(ByteStream& stream, const ScriptedAnswer& answer);
