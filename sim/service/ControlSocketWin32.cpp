// One loopback TCP exchange on Winsock.
#include "sim/service/ControlSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <stdexcept>

namespace {
using Clock = std::chrono::steady_clock;

// Winsock is started once per exchange; the counts nest, so this is safe beside other users.
class WinsockSession {
public:
    WinsockSession() {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("control: Winsock unavailable");
    }
    ~WinsockSession() { ::WSACleanup(); }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
};

class Socket {
public:
    Socket() : socket_(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
        if (socket_ == INVALID_SOCKET) throw std::runtime_error("control: no socket");
        u_long nonBlocking = 1;
        if (::ioctlsocket(socket_, FIONBIO, &nonBlocking) != 0) {
            ::closesocket(socket_);
            throw std::runtime_error("control: no socket");
        }
    }
    ~Socket() { ::closesocket(socket_); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return socket_; }

private:
    SOCKET socket_;
};

void WaitFor(const Socket& socket, short events, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) throw std::runtime_error("control: timed out");
    WSAPOLLFD entry{socket.get(), events, 0};
    const int ready = ::WSAPoll(&entry, 1, static_cast<INT>(left));
    if (ready == SOCKET_ERROR) throw std::runtime_error("control: poll failed");
    if (ready == 0) throw std::runtime_error("control: timed out");
}
}  // namespace

std::string ExchangeWithLoopback(uint16_t port, std::string_view request, std::chrono::milliseconds timeout,
                                 size_t largestAnswer) {
    const Clock::time_point deadline = Clock::now() + timeout;
    WinsockSession session;
    Socket socket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) throw std::runtime_error("control: cannot connect");
        WaitFor(socket, POLLOUT, deadline);
        int error = 0;
        int length = sizeof error;
        if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
            error != 0)
            throw std::runtime_error("control: cannot connect");
    }
    for (size_t sent = 0; sent < request.size();) {
        const size_t chunk = std::min<size_t>(request.size() - sent, 1 << 20);
        const int n = ::send(socket.get(), request.data() + sent, static_cast<int>(chunk), 0);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
            WaitFor(socket, POLLOUT, deadline);
        } else {
            throw std::runtime_error("control: send failed");
        }
    }
    std::string answer;
    char buffer[16384];
    for (;;) {
        const int n = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (n == 0) return answer;
        if (n > 0) {
            if (answer.size() + static_cast<size_t>(n) > largestAnswer)
                throw std::runtime_error("control: answer too large");
            answer.append(buffer, static_cast<size_t>(n));
        } else if (::WSAGetLastError() == WSAEWOULDBLOCK) {
            WaitFor(socket, POLLIN, deadline);
        } else {
            throw std::runtime_error("control: receive failed");
        }
    }
}
