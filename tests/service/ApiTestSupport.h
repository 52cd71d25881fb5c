// The "api" request through the bridge against the simulated service: a simulated host running
// the linked add-on, pointed at the service through the host extension, with helpers that post a
// request and run the host until its reply has arrived.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/service/ServiceScript.h"
#include "support/Harness.h"
#include "support/TestService.h"

class ApiFixture : public ::testing::Test {
protected:
    // The host first (it points the add-on at no service when it loads it), then the service.
    void SetUp() override;
    void TearDown() override;

    // Opens the palette; `signedIn` first stores a token that the service issued, as a device
    // signed in on an earlier day.
    void Open(bool signedIn, uint32_t timeoutDivisor = 1);

    // Posts {"id":id,"type":"api","payload":payload} and runs the host until the reply to `id`
    // has arrived (at most 30 s of real time); the reply's JSON text, or "" when none came.
    std::string Call(const std::string& id, const std::string& payload);
    // Posts without waiting.
    void Post(const std::string& id, const std::string& payload);
    // Runs the host until every id has a reply (at most 60 s of real time); false when time ran out.
    bool WaitForReplies(const std::vector<std::string>& ids);

    // Waits until the service has recorded `count` requests (at most 30 s of real time).
    bool WaitForServiceRequests(size_t count);

    std::string Log() const;
    // Every message the page received, as JSON texts, in arrival order.
    std::vector<std::string> Messages() const;

    std::unique_ptr<Harness> harness;
    std::unique_ptr<TestService> service;
    std::string token;  // the token stored by Open(true)
};

// "prefix" followed by the number (written so that GCC 12 sees no overlapping copy in it).
std::string Numbered(std::string prefix, size_t number);
// {"id":…,"ok":true,"result":RESULT} for an id.
std::string OkReply(const std::string& id, const std::string& result);
// The reply's error member "code"; "" for a reply that is not an error.
std::string ErrorCodeOf(const std::string& reply);
// The string member at a dotted path of a JSON text ("result.fileRef"); "" when absent.
std::string StringAt(const std::string& json, const std::string& path);

// The header lines the add-on itself chose, in order: the platform's own Host, User-Agent,
// Content-Length and Connection lines left out.
std::vector<std::string> OwnLines(const RecordedRequest& request);
