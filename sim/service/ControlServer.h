// The control interface of the standalone service: plain HTTP on 127.0.0.1, each connection on a
// thread of its own.
//   POST /script        a JSON answer or array of answers (ServiceJson.h), appended to the queue
//   GET  /record        the record as JSON
//   GET  /record.jsonl  the record as JSON lines (RecordToJsonLines)
//   POST /reset         empties the queue and the record (the account stays)
//   POST /quit          answers, then lets WaitForQuit return
//   POST /token         issues a valid device token: {"token":S}
//   POST /revoke        {"token":S} revokes it: {"revoked":true|false}
//   POST /device        {"code":S,"decision":"approve"|"deny"|"expire"} decides a pending device
//                       code named by its device or user code: {"decided":true|false}
//   POST /settings      any of {"credits":N,"approveAtFirstPoll":B,"pollsUntilDone":N,
//                       "failNextJobs":N,"plugin":"current"|"outdated"|"disabled"}: {}
//   GET  /account, /devices, /uploads, /jobs   the account records (ServiceJson.h)
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
