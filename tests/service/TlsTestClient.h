// A minimal TLS client for the simulated service's own tests: it connects to 127.0.0.1, checks
// the server's certificate against a given CA and name, writes exactly the bytes it is given and
// reports how the server ended the exchange. Every wait is bounded.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/service/TestPki.h"

// The throwaway PKI the tests of one program share, made at its first use.
const TestPki& ServicePki();

class TlsTestClient {
public:
    // How a read ended.
    enum class End {
        Closed,  // the server sent its closing alert and closed
        Cut,     // the connection ended without the closing alert
        Quiet,   // the connection is still open, and nothing more came within the limit
        Enough,  // the wanted number of bytes arrived
    };

    // Connects and completes the handshake, trusting only `caPem` and requiring `serverName`
    // in the certificate; Connected() tells whether that worked.
    TlsTestClient(uint16_t port, const std::string& caPem, const std::string& serverName = "app.ovra.example");
    ~TlsTestClient();
    TlsTestClient(const TlsTestClient&) = delete;
    TlsTestClient& operator=(const TlsTestClient&) = delete;

    bool Connected() const;
    // Writes every byte as one TLS write; false when it could not.
    bool Send(std::string_view bytes);
    // Appends what arrives to `into` until the connection ends, `limit` passes without a byte,
    // or `into` holds `wanted` bytes.
    End Receive(std::string& into, std::chrono::milliseconds limit = std::chrono::seconds(20),
                size_t wanted = SIZE_MAX);
    // Appends what arrives to `into` until it holds one whole answer (by its Content-Length or
    // its last chunk), the connection ends or `limit` passes without a byte.
    End ReceiveAnswer(std::string& into, std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Sends the closing alert and closes the socket.
    void Close();

private:
    struct Session;
    std::unique_ptr<Session> session_;
};

// One whole exchange: connect, send the request, read until one whole answer has arrived or the
// server ends the connection.
std::string ExchangeTls(uint16_t port, const std::string& caPem, std::string_view request);

// The size of the whole answer at the start of `bytes`; nothing while it is incomplete or has no
// length but the connection's end.
std::optional<size_t> WholeAnswerSize(std::string_view bytes);

// A whole answer split into its parts; status 0 when the bytes are not an HTTP answer.
struct HttpReply {
    int status = 0;
    std::vector<std::string> headerLines;
    // A chunked body decoded; `chunks` counts its chunks (0 for a body that was not chunked).
    std::string body;
    size_t chunks = 0;

    // The first header of this name (any case), without the spaces around its value.
    std::optional<std::string> Header(std::string_view name) const;
};
HttpReply ParseReply(const std::string& answer);

// The add-on's X-Ovra-Plugin and "Accept-Language: en" lines, each ending in CR LF, for requests
// written by hand.
std::string AddOnHeaderLines();

// One request to the service as the add-on sends it: Host app.ovra.example, the add-on's
// X-Ovra-Plugin, "Accept-Language: en", the bearer token when not empty, the extra header lines
// (each without CR LF), Content-Length and the body.
HttpReply CallService(uint16_t port, const std::string& caPem, const std::string& method, const std::string& target,
                      const std::string& token = {}, const std::string& body = {},
                      const std::vector<std::string>& extraHeaders = {});
