// The minimal TLS client of the simulated service's tests, on OpenSSL over a non-blocking socket.
#include "service/TlsTestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>

#include "sim/service/RequestRules.h"
#include "sim/service/ServiceScript.h"
#include <cerrno>

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto kHandshakeLimit = std::chrono::seconds(20);
}  // namespace

struct TlsTestClient::Session {
    int fd = -1;
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    bool connected = false;

    ~Session() {
        if (ssl) SSL_free(ssl);
        if (context) SSL_CTX_free(context);
        if (fd >= 0) ::close(fd);
    }

    // Repeats an OpenSSL call while it waits for the socket; 1 on success, 0 when the time
    // passed, -1 on any other failure (`error` then holds SSL_get_error's value).
    template <typename Operation>
    int Drive(Operation operation, Clock::time_point deadline, int* error) {
        for (;;) {
            ERR_clear_error();
            const int result = operation();
            if (result == 1) return 1;
            *error = SSL_get_error(ssl, result);
            short events = 0;
            if (*error == SSL_ERROR_WANT_READ) events = POLLIN;
            else if (*error == SSL_ERROR_WANT_WRITE) events = POLLOUT;
            if (events == 0) return -1;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return 0;
            pollfd entry{fd, events, 0};
            if (::poll(&entry, 1, static_cast<int>(left.count())) == 0) return 0;
        }
    }
};

TlsTestClient::TlsTestClient(uint16_t port, const std::string& caPem, const std::string& serverName)
    : session_(std::make_unique<Session>()) {
    Session& s = *session_;
    s.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s.fd < 0 || ::connect(s.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return;
    s.context = SSL_CTX_new(TLS_client_method());
    if (!s.context) return;
    BIO* bio = BIO_new_mem_buf(caPem.data(), static_cast<int>(caPem.size()));
    X509* ca = bio ? PEM_read_bio_X509(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    const bool trusted = ca && X509_STORE_add_cert(SSL_CTX_get_cert_store(s.context), ca) == 1;
    X509_free(ca);
    if (!trusted) return;
    SSL_CTX_set_verify(s.context, SSL_VERIFY_PEER, nullptr);
    s.ssl = SSL_new(s.context);
    // The server name indication, as SSL_set_tlsext_host_name sets it (a macro with a C cast).
    if (!s.ssl || SSL_set_fd(s.ssl, s.fd) != 1 ||
        SSL_ctrl(s.ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                 const_cast<char*>(serverName.c_str())) != 1 ||
        SSL_set1_host(s.ssl, serverName.c_str()) != 1)
        return;
    // Non-blocking from here, so that every wait below is bounded.
    const int flags = ::fcntl(s.fd, F_GETFL);
    ::fcntl(s.fd, F_SETFL, flags | O_NONBLOCK);
    int error = 0;
    s.connected = s.Drive([&] { return SSL_connect(s.ssl); }, Clock::now() + kHandshakeLimit, &error) == 1;
    ERR_clear_error();
}

TlsTestClient::~TlsTestClient() = default;

bool TlsTestClient::Connected() const { return session_->connected; }

bool TlsTestClient::Send(std::string_view bytes) {
    Session& s = *session_;
    if (!s.connected) return false;
    size_t written = 0;
    int error = 0;
    const bool sent = s.Drive([&] { return SSL_write_ex(s.ssl, bytes.data(), bytes.size(), &written); },
                              Clock::now() + kHandshakeLimit, &error) == 1;
    ERR_clear_error();
    return sent;
}

namespace {
// One read of what has come, at most `room` bytes: Enough when bytes arrived.
TlsTestClient::End ReadOnce(SSL* ssl, int fd, std::string& into, size_t room, std::chrono::milliseconds limit) {
    char buffer[1 << 16];
    room = std::min(room, sizeof buffer);
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        size_t got = 0;
        ERR_clear_error();
        if (SSL_read_ex(ssl, buffer, room, &got) == 1) {
            into.append(buffer, got);
            return TlsTestClient::End::Enough;
        }
        const int error = SSL_get_error(ssl, 0);
        ERR_clear_error();
        short events = 0;
        if (error == SSL_ERROR_WANT_READ) events = POLLIN;
        else if (error == SSL_ERROR_WANT_WRITE) events = POLLOUT;
        if (events == 0) return error == SSL_ERROR_ZERO_RETURN ? TlsTestClient::End::Closed : TlsTestClient::End::Cut;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{fd, events, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) == 0) return TlsTestClient::End::Quiet;
    }
}
}  // namespace

TlsTestClient::End TlsTestClient::Receive(std::string& into, std::chrono::milliseconds limit, size_t wanted) {
    Session& s = *session_;
    if (!s.connected) return End::Cut;
    for (;;) {
        if (into.size() >= wanted) return End::Enough;
        const End end = ReadOnce(s.ssl, s.fd, into, wanted - into.size(), limit);
        if (end != End::Enough) return end;
    }
}

TlsTestClient::End TlsTestClient::ReceiveAnswer(std::string& into, std::chrono::milliseconds limit) {
    Session& s = *session_;
    if (!s.connected) return End::Cut;
    for (;;) {
        const std::optional<size_t> whole = WholeAnswerSize(into);
        if (whole && into.size() >= *whole) return End::Enough;
        const End end = ReadOnce(s.ssl, s.fd, into, SIZE_MAX, limit);
        if (end != End::Enough) return end;
    }
}

void TlsTestClient::Close() {
    Session& s = *session_;
    if (s.ssl && s.connected) {
        ERR_clear_error();
        SSL_shutdown(s.ssl);
        ERR_clear_error();
    }
    if (s.fd >= 0) ::close(s.fd);
    s.fd = -1;
    s.connected = false;
}

std::string ExchangeTls(uint16_t port, const std::string& caPem, std::string_view request) {
    TlsTestClient client(port, caPem);
    std::string answer;
    if (client.Connected() && client.Send(request)) client.ReceiveAnswer(answer);
    return answer;
}

namespace {
// The chunked body that starts at `at`: its end in `bytes`, the decoded body and the chunk count;
// nothing while incomplete or malformed.
std::optional<size_t> DecodeChunks(std::string_view bytes, size_t at, std::string* body, size_t* chunks) {
    for (;;) {
        const size_t lineEnd = bytes.find("\r\n", at);
        if (lineEnd == std::string_view::npos) return std::nullopt;
        const std::string sizeText(bytes.substr(at, lineEnd - at));
        if (sizeText.empty() || sizeText.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return std::nullopt;
        const size_t size = std::stoul(sizeText, nullptr, 16);
        at = lineEnd + 2;
        if (size == 0) {
            if (bytes.substr(at, 2) != "\r\n") return std::nullopt;
            return at + 2;
        }
        if (bytes.size() < at + size + 2) return std::nullopt;
        if (body != nullptr) body->append(bytes.substr(at, size));
        ++*chunks;
        at += size + 2;
    }
}
}  // namespace

std::optional<size_t> WholeAnswerSize(std::string_view bytes) {
    const size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string_view::npos) return std::nullopt;
    const HttpReply head = ParseReply(std::string(bytes.substr(0, headEnd + 4)));
    if (head.status == 0) return std::nullopt;
    // An interim answer comes before the whole one.
    if (head.status < 200) {
        const std::optional<size_t> rest = WholeAnswerSize(bytes.substr(headEnd + 4));
        return rest ? std::optional<size_t>(headEnd + 4 + *rest) : std::nullopt;
    }
    const std::optional<std::string> encoding = head.Header("Transfer-Encoding");
    if (encoding && *encoding == "chunked") {
        size_t chunks = 0;
        return DecodeChunks(bytes, headEnd + 4, nullptr, &chunks);
    }
    const std::optional<std::string> length = head.Header("Content-Length");
    if (!length) return std::nullopt;
    return headEnd + 4 + std::stoull(*length);
}

std::optional<std::string> HttpReply::Header(std::string_view name) const {
    RecordedRequest asRequest;
    asRequest.headerLines = headerLines;
    return asRequest.Header(name);
}

HttpReply ParseReply(const std::string& answer) {
    HttpReply reply;
    const size_t headEnd = answer.find("\r\n\r\n");
    if (answer.compare(0, 9, "HTTP/1.1 ") != 0 || headEnd == std::string::npos || answer.size() < 12) return reply;
    reply.status = std::stoi(answer.substr(9, 3));
    size_t at = answer.find("\r\n") + 2;
    while (at < headEnd + 2) {
        const size_t end = answer.find("\r\n", at);
        reply.headerLines.push_back(answer.substr(at, end - at));
        at = end + 2;
    }
    reply.body = answer.substr(headEnd + 4);
    const std::optional<std::string> encoding = reply.Header("Transfer-Encoding");
    if (encoding && *encoding == "chunked") {
        std::string decoded;
        if (DecodeChunks(answer, headEnd + 4, &decoded, &reply.chunks)) reply.body = std::move(decoded);
    }
    return reply;
}

std::string AddOnHeaderLines() { return "X-Ovra-Plugin: " + RequestRules().plugin + "\r\nAccept-Language: en\r\n"; }

HttpReply CallService(uint16_t port, const std::string& caPem, const std::string& method, const std::string& target,
                      const std::string& token, const std::string& body, const std::vector<std::string>& extraHeaders) {
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: app.ovra.example\r\n";
    request += AddOnHeaderLines();
    if (!token.empty()) request += "Authorization: Bearer " + token + "\r\n";
    for (const std::string& line : extraHeaders) request += line + "\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    return ParseReply(ExchangeTls(port, caPem, request));
}

const TestPki& ServicePki() {
    static const TestPki pki = MakeTestPki();
    return pki;
}
