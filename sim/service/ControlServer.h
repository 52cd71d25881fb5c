// The control interface of the standalone service: plain HTTP on 127.0.0.1, served on its own
// thread, one connection at a time.
//   POST /script   a JSON answer or array of answers (ServiceJson.h), appended to the queue
//   GET  /record   the record as JSON
//   POST /reset    empties the queue and the record
//   POST /quit     answers, then lets WaitForQuit return
// A refused call answers 400 or 404 with {"error":"<what was wrong>"}.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "sim/service/LoopbackServer.h"

class SimService;

class ControlServer {
public:
    explicit ControlServer(SimService& service);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Throws std::runtime_error when the port cannot be had.
    void Start(uint16_t port, std::chrono::seconds lifetime);
    void Stop();
    uint16_t Port() const { return server_.Port(); }
    // True once POST /quit has been answered; waits at most `timeout` for it.
    bool WaitForQuit(std::chrono::milliseconds timeout);

private:
    void Serve(LoopbackConnection& connection);

    SimService& service_;
    std::mutex mutex_;
    std::condition_variable quitCalled_;
    bool quit_ = false;
    LoopbackServer server_;
};
