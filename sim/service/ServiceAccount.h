// What tests read back of the simulated service's account: its credits, the device codes it
// handed out, its uploads and its paid jobs. Plain records shared by the in-process server and
// the control client of both builds, so they hold no operating-system or TLS type.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct AccountState {
    int64_t credits = 0;
    // Credits taken by paid requests, less the refunds of failed jobs.
    int64_t charged = 0;
    // Device tokens that are valid now (issued and not revoked).
    uint64_t activeTokens = 0;
    uint64_t uploads = 0;
    uint64_t jobs = 0;
};

struct DeviceState {
    std::string deviceCode;
    std::string userCode;
    // "pending", "approved" (a token may be fetched), "denied", "expired" or "used" (the token
    // was fetched).
    std::string status;
    // The start request's members "name" and "client" when they were strings, and its whole body.
    std::string name;
    std::string client;
    std::string startBody;
    uint64_t polls = 0;
};

struct UploadState {
    std::string id;
    std::string contentType;
    // The x-filename header as sent (percent-encoded) and decoded.
    std::string sentFilename;
    std::string filename;
    uint64_t size = 0;
};

struct JobState {
    std::string id;
    // "generation" or "animation-video".
    std::string kind;
    // "queued", "running", "done" or "failed".
    std::string status;
    std::string uploadId;
    std::string idempotencyKey;
    int64_t cost = 0;
    uint64_t polls = 0;
    // The "/files/…" path of the result once the job is done; empty before.
    std::string resultPath;
};

// What the control interface sets to decide a pending device code in the user's place.
enum class DeviceDecision { Approve, Deny, Expire };

// Whether the service serves this version of the add-on. "outdated": every route but the
// configuration answers 426 plugin_outdated; "disabled": 503 with the reason plugin_disabled.
enum class PluginStatus { Current, Outdated, Disabled };
