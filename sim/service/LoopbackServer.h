// A TCP listener on 127.0.0.1 whose accept loop runs on its own thread and serves one
// connection at a time through a handler. Every wait of the handler ends when the server stops,
// so Stop() always returns promptly; the server also stops by itself when its lifetime ends.
// POSIX only.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

using ServerClock = std::chrono::steady_clock;

// The accepted socket, for the handler. Owned by the server; valid during the handler's call.
class LoopbackConnection {
public:
    enum class Wait { Ready, TimedOut, Stopped };

    LoopbackConnection(int fd, int stopFd) : fd_(fd), stopFd_(stopFd) {}
    int fd() const { return fd_; }
    // Waits until the socket is ready for `events` (POLLIN, POLLOUT), the deadline passes or the
    // server stops.
    Wait WaitFor(short events, ServerClock::time_point deadline) const;
    // Sleeps for `duration`; false when the server stopped meanwhile.
    bool Sleep(std::chrono::milliseconds duration) const;
    // Reads and drops whatever arrives until the peer closes, the deadline passes or the server
    // stops.
    void DrainUntilClosed(ServerClock::time_point deadline) const;

private:
    int fd_;
    int stopFd_;
};

class LoopbackServer {
public:
    using Handler = std::function<void(LoopbackConnection&)>;

    explicit LoopbackServer(Handler handler) : handler_(std::move(handler)) {}
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Listens on 127.0.0.1 at `port` (0: a free port) and starts the accept loop. Throws
    // std::runtime_error when the port cannot be had or the server already runs.
    void Start(uint16_t port, std::chrono::seconds lifetime);
    // Ends the wait of the current connection and the accept loop, and joins the thread.
    void Stop();
    uint16_t Port() const { return port_; }

private:
    void AcceptLoop(ServerClock::time_point end);

    Handler handler_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::thread thread_;
};
