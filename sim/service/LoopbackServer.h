// A TCP listener on 127.0.0.1 whose accept loop runs on its own thread and serves each accepted
// connection on a thread of its own (at most kMostConnections at once; further clients wait in
// the listen backlog). Every wait of a handler ends when the server stops, so Stop() always
// returns promptly; the server also stops accepting by itself when its lifetime ends. POSIX only.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

using ServerClock = std::chrono::steady_clock;

// The accepted socket, for the handler. Owned by the server; valid during the handler's call.
class LoopbackConnection {
public:
    enum class Wait { Ready, TimedOut, Stopped };

    LoopbackConnection(int fd, int stopFd, uint64_t number) : fd_(fd), stopFd_(stopFd), number_(number) {}
    int fd() const { return fd_; }
    // What the accept hook returned for this connection (see LoopbackServer).
    uint64_t number() const { return number_; }
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
    uint64_t number_;
};

class LoopbackServer {
public:
    // Runs on the connection's own thread.
    using Handler = std::function<void(LoopbackConnection&)>;
    // Runs on the accept thread, in the order connections were accepted, before the handler's
    // thread starts; its result becomes the connection's number().
    using AcceptHook = std::function<uint64_t()>;
    static constexpr size_t kMostConnections = 64;
    // Room for every client a test starts at once beyond those being served: a burst of
    // connections overflows a short queue, and a network stack may answer the overflow with a
    // reset, failing a request that never reached the server.
    static constexpr int kBacklog = 1024;

    explicit LoopbackServer(Handler handler, AcceptHook onAccept = {})
        : handler_(std::move(handler)), onAccept_(std::move(onAccept)) {}
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Listens on 127.0.0.1 at `port` (0: a free port) and starts the accept loop. Throws
    // std::runtime_error when the port cannot be had or the server already runs.
    void Start(uint16_t port, std::chrono::seconds lifetime);
    // Ends the waits of every connection and the accept loop, and joins every thread.
    void Stop();
    uint16_t Port() const { return port_; }

private:
    struct Worker {
        std::thread thread;
        bool done = false;
    };

    void AcceptLoop(ServerClock::time_point end);
    void Serve(int fd, uint64_t number, Worker* worker);
    // Joins the workers whose handler has returned; with `all`, waits for every worker.
    void Reap(bool all);

    Handler handler_;
    AcceptHook onAccept_;
    std::mutex workersMutex_;
    std::condition_variable workerDone_;
    std::list<Worker> workers_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::thread thread_;
};
