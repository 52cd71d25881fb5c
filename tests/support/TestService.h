// The simulated rendering service as a transport test sees it: scripted answers, the record of
// what arrived, and where to reach it. On Linux it runs in the test's own process; the Windows
// build, under Wine, scripts the standalone program that the test runner started. When it goes,
// the test fails for every violation of the service's rules that the test did not declare.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "sim/service/ServiceAccount.h"
#include "sim/service/ServiceScript.h"
#include "support/ExpectedViolations.h"

class TestService {
public:
    virtual ~TestService() = default;
    // A service ready to answer, with the transport pointed at it and its CA trusted; throws
    // std::runtime_error when none can be had.
    static std::unique_ptr<TestService> Start();

    virtual void Script(const ScriptedAnswer& answer) = 0;
    virtual ServiceRecord Record() = 0;
    // Points the transport at the service, trusting its CA or not.
    virtual void Aim(bool trustServiceCa = true) = 0;
    // Where a host points the add-on: the service's port, and the CA file to trust (empty where
    // the system's trust store holds the CA).
    virtual uint16_t Port() const = 0;
    virtual std::string CaFile() const = 0;

    // The service's account, acted on as the user in the browser would.
    virtual std::string IssueToken() = 0;
    virtual bool RevokeToken(const std::string& token) = 0;
    virtual bool Decide(const std::string& code, DeviceDecision decision) = 0;
    virtual void SetApproveAtFirstPoll(bool on) = 0;
    virtual AccountState Account() = 0;
    virtual std::vector<DeviceState> Devices() = 0;
    virtual std::vector<UploadState> Uploads() = 0;

    // The rules the add-on's requests are held to: the UI language it sends ("en" unless told),
    // and, for a test whose paid calls carry no key on purpose, no Idempotency-Key required.
    virtual void ExpectLanguage(const std::string& language) = 0;
    virtual void ExpectNoIdempotencyKey() = 0;
    // A violation holding `fragment` will be recorded (a test that sends a bad request on purpose).
    void ExpectViolation(std::string fragment) { expected_.Expect(std::move(fragment)); }

protected:
    // Called by each service's destructor with the violations recorded.
    void CheckViolations(const std::vector<std::string>& violations) const { expected_.Check(violations); }

private:
    ExpectedViolations expected_;
};
