// The loopback TCP listener and its accept thread.
#include "sim/service/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <stdexcept>
#include <system_error>

namespace {
// Milliseconds from now to the deadline for poll(), at least 0 and at most a minute per wait.
int PollTimeout(ServerClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - ServerClock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<long long>(left, 60000));
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Closes the accepted socket when the handler returns, however it returns.
class AcceptedSocket {
public:
    explicit AcceptedSocket(int fd) : fd_(fd) {}
    ~AcceptedSocket() { ::close(fd_); }
    AcceptedSocket(const AcceptedSocket&) = delete;
    AcceptedSocket& operator=(const AcceptedSocket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};
}  // namespace

LoopbackConnection::Wait LoopbackConnection::WaitFor(short events, ServerClock::time_point deadline) const {
    for (;;) {
        pollfd entries[2] = {{fd_, events, 0}, {stopFd_, POLLIN, 0}};
        const int ready = ::poll(entries, 2, PollTimeout(deadline));
        if (ready < 0 && errno != EINTR) return Wait::Stopped;
        if (entries[1].revents != 0) return Wait::Stopped;
        // An error or hang-up counts as ready: the next read or write reports it.
        if (entries[0].revents != 0) return Wait::Ready;
        if (ServerClock::now() >= deadline) return Wait::TimedOut;
    }
}

bool LoopbackConnection::Sleep(std::chrono::milliseconds duration) const {
    const ServerClock::time_point end = ServerClock::now() + duration;
    for (;;) {
        pollfd entry{stopFd_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, PollTimeout(end));
        if (ready > 0) return false;
        if (ServerClock::now() >= end) return true;
    }
}

void LoopbackConnection::DrainUntilClosed(ServerClock::time_point deadline) const {
    char buffer[4096];
    for (;;) {
        if (WaitFor(POLLIN, deadline) != Wait::Ready) return;
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return;
    }
}

LoopbackServer::~LoopbackServer() { Stop(); }

void LoopbackServer::Start(uint16_t port, std::chrono::seconds lifetime) {
    if (thread_.joinable()) throw std::runtime_error("loopback server: already started");
    if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("loopback server: no pipe");
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int yes = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, kBacklog) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        CloseFd(listenFd_);
        CloseFd(stopPipe_[0]);
        CloseFd(stopPipe_[1]);
        throw std::runtime_error("loopback server: cannot listen on 127.0.0.1:" + std::to_string(port) + " (errno " +
                                 std::to_string(error) + ")");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&LoopbackServer::AcceptLoop, this, ServerClock::now() + lifetime);
}

void LoopbackServer::Stop() {
    if (!thread_.joinable()) return;
    const char byte = 1;
    // The byte is never read: every later poll of the stop pipe sees it.
    while (::write(stopPipe_[1], &byte, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    CloseFd(listenFd_);
    CloseFd(stopPipe_[0]);
    CloseFd(stopPipe_[1]);
}

void LoopbackServer::AcceptLoop(ServerClock::time_point end) {
    // A peer that closes early must not end the process: writes then fail with EPIPE instead of
    // raising SIGPIPE. The connection threads inherit the mask and discard their own pending
    // instance before leaving.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    while (ServerClock::now() < end) {
        Reap(false);
        bool full = false;
        {
            std::lock_guard<std::mutex> lock(workersMutex_);
            full = workers_.size() >= kMostConnections;
        }
        // At the limit only the stop pipe is watched, briefly, until a connection ends.
        pollfd entries[2] = {{stopPipe_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        const int ready = ::poll(entries, full ? 1 : 2, full ? 20 : PollTimeout(end));
        if (ready < 0 && errno != EINTR) break;
        if (entries[0].revents != 0) break;
        if (full || entries[1].revents == 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        // Each write goes out at once, as servers send on connections they keep: otherwise an
        // answer on a connection left open waits for the client's delayed acknowledgement.
        const int noDelay = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        const uint64_t number = onAccept_ ? onAccept_() : 0;
        std::lock_guard<std::mutex> lock(workersMutex_);
        Worker& worker = workers_.emplace_back();
        try {
            worker.thread = std::thread(&LoopbackServer::Serve, this, fd, number, &worker);
        } catch (const std::system_error&) {
            ::close(fd);
            workers_.pop_back();
        }
    }
    Reap(true);

    const timespec now{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
    }
}

void LoopbackServer::Serve(int fd, uint64_t number, Worker* worker) {
    {
        AcceptedSocket socket(fd);
        LoopbackConnection connection(socket.fd(), stopPipe_[0], number);
        try {
            handler_(connection);
        } catch (const std::exception&) {
            // The connection ends; the others go on.
        }
    }
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    const timespec now{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
    }
    {
        std::lock_guard<std::mutex> lock(workersMutex_);
        worker->done = true;
    }
    workerDone_.notify_all();
}

void LoopbackServer::Reap(bool all) {
    std::unique_lock<std::mutex> lock(workersMutex_);
    if (all) workerDone_.wait(lock, [&] {
            return std::all_of(workers_.begin(), workers_.end(), [](const Worker& w) { return w.done; });
        });
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (!it->done) {
            ++it;
            continue;
        }
        // A finished worker only has to leave its function; it takes no lock on the way out.
        it->thread.join();
        it = workers_.erase(it);
    }
}
