// The simulated rendering service: an HTTPS/1.1 server on 127.0.0.1 that records every request
// exactly as it arrived and answers it from the queue of scripted answers when that holds one,
// otherwise from its own routes (ServiceRoutes.h: device sign-in, account, uploads, paid jobs,
// result files), otherwise with DefaultAnswer(). Each request is checked against the rules a real
// service relies on (RequestRules.h) and every breach is recorded as a violation. Each connection
// is served on a thread of its own; an answer closes its connection unless it keeps it alive, and
// then the connection waits for a next request. The scripting, control and reading calls may come
// from any thread; Start and Stop from one.
#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/service/RequestRules.h"
#include "sim/service/ServiceRoutes.h"
#include "sim/service/ServiceScript.h"
#include "sim/service/TestPki.h"

class SimService {
public:
    struct Options {
        uint16_t port = 0;  // 0: a free port, readable with Port() after Start
        // The longest wait for a client's next bytes, and for a client to take an answer.
        std::chrono::milliseconds ioTimeout{30000};
        // The server stops by itself this long after Start.
        std::chrono::seconds lifetime{3600};
        // A request body above this size is refused with 413 and not read (the add-on's uploads
        // reach 512 MiB).
        uint64_t largestBody = uint64_t{576} << 20;
        // The account, the site's host name and the timings of the built-in routes.
        ServiceRoutes::Settings routes;
    };

    // Serves with the server certificate and key of `pki`.
    explicit SimService(const TestPki& pki);
    SimService(const TestPki& pki, Options options);
    ~SimService();
    SimService(const SimService&) = delete;
    SimService& operator=(const SimService&) = delete;

    // Loads the certificate and listens. Throws std::runtime_error when either fails.
    void Start();
    // Ends any wait (a delay, a held connection), closes the connection and joins the thread.
    void Stop();
    uint16_t Port() const;

    // Appends answers to the queue. A request takes the first queued answer meant for any path or
    // for its own (ScriptedAnswer::forPath); one that finds none is answered by the routes.
    void Script(ScriptedAnswer answer);
    void Script(std::vector<ScriptedAnswer> answers);
    size_t QueuedAnswers() const;

    ServiceRecord Record() const;
    std::vector<RecordedRequest> Requests() const;
    uint64_t Connections() const;
    // Bytes of HTTP requests read and answers written so far, headers included, TLS aside.
    uint64_t BytesReceived() const;
    uint64_t BytesSent() const;
    // Waits until at least `count` requests are recorded; false when the time passes first.
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;
    // Empties the queue and the record (its violations too), counts connections from zero again
    // and restores the default rules. The account (tokens, credits, uploads, jobs) stays as it is.
    void Reset();
    // The rules each request is held to from now on; requests already recorded keep their
    // violations.
    void SetRules(RequestRules rules);
    RequestRules Rules() const;
    // Every breach of the rules so far, as Record().violations.
    std::vector<std::string> Violations() const;
    // Writes the record as JSON lines (RecordToJsonLines) to `file`, replacing it; false when the
    // file cannot be written whole.
    bool WriteRecordJsonLines(const std::filesystem::path& file) const;

    // The built-in routes' account and its controls (issue a token, decide a device code, set
    // credits, read the account, devices, uploads and jobs).
    ServiceRoutes& Routes();
    const ServiceRoutes& Routes() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
