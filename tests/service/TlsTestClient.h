// A minimal TLS client for the simulated service's own tests: it connects to 127.0.0.1, checks
// the server's certificate against a given CA and name, writes exactly the bytes it is given and
// reports how the server ended the exchange. Every wait is bounded.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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
    // Sends the closing alert and closes the socket.
    void Close();

private:
    struct Session;
    std::unique_ptr<Session> session_;
};

// One whole exchange: connect, send the request, read until the server ends the connection.
std::string ExchangeTls(uint16_t port, const std::string& caPem, std::string_view request);
