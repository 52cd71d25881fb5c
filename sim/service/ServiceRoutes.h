// The simulated service's own answers: one account with credits, the device sign-in, uploads,
// paid jobs that are polled until done, and the downloads of their results. The routes and
// bodies are listed in README.md ("The simulated service"). Every call may come from any thread;
// one mutex guards the state, and pictures are made outside it.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/service/ServiceAccount.h"
#include "sim/service/ServiceScript.h"

class ServiceRoutes {
public:
    struct Settings {
        // The service's site, for the addresses in answers ("https://" + host + path).
        std::string host = "app.ovra.example";
        int64_t credits = 10;
        std::chrono::seconds deviceCodeLife{600};
        std::chrono::seconds pollInterval{5};
        std::chrono::milliseconds idempotencyKeyLife = std::chrono::hours(24);
        // The poll of a job that answers "done"; earlier polls answer "queued" (the first) and
        // "running".
        uint64_t pollsUntilDone = 3;
        int64_t generationCost = 1;
        int64_t animationCost = 5;
    };

    explicit ServiceRoutes(Settings settings);
    ~ServiceRoutes();
    ServiceRoutes(const ServiceRoutes&) = delete;
    ServiceRoutes& operator=(const ServiceRoutes&) = delete;

    // The answer to a request read whole, framed as its route answers (chunked, kept alive or in
    // uneven pieces); nothing when no route has its path.
    std::optional<ScriptedAnswer> Answer(const RecordedRequest& request);

    // A device token valid from now on, as if a device had signed in.
    std::string IssueToken();
    // False when the token is unknown or already revoked.
    bool RevokeToken(const std::string& token);
    // Decides a pending device code, named by its device code or its user code, in the user's
    // place. False when no pending code has that name.
    bool Decide(const std::string& code, DeviceDecision decision);
    // When on, a pending device code is approved at its first poll.
    void SetApproveAtFirstPoll(bool on);
    void SetCredits(int64_t credits);
    void SetPollsUntilDone(uint64_t polls);
    // The next `count` jobs end "failed" with the code "generation_failed", and their credits
    // are given back.
    void FailNextJobs(uint64_t count);
    void SetPluginStatus(PluginStatus status);

    AccountState Account() const;
    std::vector<DeviceState> Devices() const;
    std::vector<UploadState> Uploads() const;
    std::vector<JobState> Jobs() const;

private:
    std::optional<ScriptedAnswer> RouteAnswer(const RecordedRequest& request);

    struct State;
    std::unique_ptr<State> state_;
};

// The service's error answer: the status and {"error":{"code":…,"message":…,"reason":…}} with
// "retry_after" when it is above 0.
ScriptedAnswer ServiceError(int status, const std::string& code, const std::string& reason,
                            int retryAfter = 0);
