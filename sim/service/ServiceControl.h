// A client of the standalone service's control interface (plain HTTP on 127.0.0.1), for tests of
// both builds: script the next answers, read back the record, reset, quit, and act on the
// service's account (tokens, device codes, credits, jobs). Each call is one short
// connection; calls block the calling thread and throw std::runtime_error when the control
// interface cannot be reached or refuses the call (with its message).
#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sim/service/ServiceAccount.h"
#include "sim/service/ServiceScript.h"

// Where a running standalone service listens, as it writes it in its state folder: the file
// "ports" with the lines "service N" and "control N", and the file "ca.pem".
struct ServiceEndpoints {
    uint16_t servicePort = 0;
    uint16_t controlPort = 0;
    std::filesystem::path caPemFile;
};

// The endpoints written in `stateDir`; nothing when "ports" is missing or incomplete.
std::optional<ServiceEndpoints> ReadServiceEndpoints(const std::filesystem::path& stateDir);
// The text of the "ports" file.
std::string ServicePortsText(uint16_t servicePort, uint16_t controlPort);

class ServiceControl {
public:
    explicit ServiceControl(uint16_t controlPort, std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // Appends answers to the service's queue.
    void Script(const ScriptedAnswer& answer);
    void Script(const std::vector<ScriptedAnswer>& answers);
    ServiceRecord Record();
    // Empties the queue and the record (its violations too), counts connections from zero again
    // and restores the default rules.
    void Reset();
    // Asks the program to stop; it answers first.
    void Quit();
    // The record as JSON lines (RecordToJsonLines).
    std::string RecordJsonLines();

    // A device token the service accepts from now on: a device that is already signed in.
    std::string IssueToken();
    // False when the token was unknown or already revoked.
    bool RevokeToken(const std::string& token);
    // Decides a pending device code (its device code or user code) as the user in the browser
    // would; false when no pending code has that name.
    bool DecideDevice(const std::string& code, DeviceDecision decision);
    // Every device code is approved at its first poll while this is on.
    void SetApproveAtFirstPoll(bool on);
    void SetCredits(int64_t credits);
    // The poll of a job that answers "done" (1: the first).
    void SetPollsUntilDone(uint64_t polls);
    // The next `count` paid jobs fail with "generation_failed" and give their credits back.
    void FailNextJobs(uint64_t count);
    void SetPluginStatus(PluginStatus status);
    // The rules requests are held to (RequestRules.h): the Accept-Language every request must
    // carry, and whether a paid call must carry an Idempotency-Key.
    void SetExpectedLanguage(const std::string& language);
    void SetIdempotencyKeysRequired(bool required);
    AccountState Account();
    std::vector<DeviceState> Devices();
    std::vector<UploadState> Uploads();
    std::vector<JobState> Jobs();

private:
    std::string Call(const char* method, const char* path, const std::string& body);
    // Calls and reads the answer's boolean member `name`.
    bool CallForFlag(const char* path, const std::string& body, const char* name);

    uint16_t port_;
    std::chrono::milliseconds timeout_;
};
