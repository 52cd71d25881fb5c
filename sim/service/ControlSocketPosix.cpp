// One loopback TCP exchange on POSIX sockets.
#include "sim/service/ControlSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace {
using Clock = std::chrono::steady_clock;

class Socket {
public:
    Socket() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
        if (fd_ < 0) throw std::runtime_error("control: no socket");
    }
    ~Socket() { ::close(fd_); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Waits until the socket is ready for `events`; throws when the deadline passes first.
void WaitFor(const Socket& socket, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) throw std::runtime_error("control: timed out");
        pollfd entry{socket.fd(), events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left));
        if (ready > 0) return;
        if (ready < 0 && errno != EINTR) throw std::runtime_error("control: poll failed");
    }
}
}  // namespace

std::string ExchangeWithLoopback(uint16_t port, std::string_view request, std::chrono::milliseconds timeout,
                                 size_t largestAnswer) {
    const Clock::time_point deadline = Clock::now() + timeout;
    Socket socket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS) throw std::runtime_error("control: cannot connect");
        WaitFor(socket, POLLOUT, deadline);
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            throw std::runtime_error("control: cannot connect");
    }
    for (size_t sent = 0; sent < request.size();) {
        const ssize_t n = ::send(socket.fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            WaitFor(socket, POLLOUT, deadline);
        } else {
            throw std::runtime_error("control: send failed");
        }
    }
    std::string answer;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(socket.fd(), buffer, sizeof buffer, 0);
        if (n == 0) return answer;
        if (n > 0) {
            if (answer.size() + static_cast<size_t>(n) > largestAnswer)
                throw std::runtime_error("control: answer too large");
            answer.append(buffer, static_cast<size_t>(n));
        } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            WaitFor(socket, POLLIN, deadline);
        } else {
            throw std::runtime_error("control: receive failed");
        }
    }
}
