// The simulated rendering service as a transport test sees it: scripted answers, the record of
// what arrived, and where to reach it. On Linux it runs in the test's own process; the Windows
// build, under Wine, scripts the standalone program that the test runner started.
#pragma once
#include <memory>
#include <string>

#include "sim/service/ServiceScript.h"

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
};
