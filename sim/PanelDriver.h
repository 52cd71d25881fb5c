// Drives the palette's page in the simulated host: host turns, and between them the calls and
// loading changes of a live Chromium page, when there is one. Without one the scripted page
// stands alone and requests are posted to the add-on as the page would post them.
#pragma once
#include <chrono>
#include <functional>
#include <string>

#include "sim/browser/ChromiumPage.h"
#include "sim/browser/ScriptedPage.h"

class SimHost;

class PanelDriver {
public:
    // `live` may be null; when given it must outlive the driver.
    PanelDriver(SimHost& host, ChromiumPage* live) : host_(host), live_(live) {}
    ~PanelDriver();
    PanelDriver(const PanelDriver&) = delete;
    PanelDriver& operator=(const PanelDriver&) = delete;

    // Starts the add-on and opens its palette through the menu command; the page, mirrored to the
    // live browser, then loads. False with a reason when the add-on or the palette did not start.
    bool Open(std::string* error);
    ScriptedPage& Page() const { return *page_; }
    ChromiumPage* Live() const { return live_; }

    // One host turn (page load, idle, event-loop calls, 100 ms of simulated time), then what the
    // live page did meanwhile.
    void Turn();
    // Turns until `done` holds; false when `timeout` of real time passes first.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Live page: turns until the expression is truthy in the page, looking at most once each
    // `every` (zero: after every turn, so that a state shown only between two replies is seen).
    // False, with the last reason, when the time passes first.
    bool WaitForScript(const std::string& expression, std::chrono::milliseconds timeout, std::string* error,
                       std::chrono::milliseconds every = std::chrono::milliseconds(25));
    // Live page: the element's text ("" when there is none).
    std::string Text(const std::string& selector);
    // Processor time the calling thread spent in host turns so far: the add-on's work on the host
    // thread and the host's own.
    std::chrono::nanoseconds HostTurnTime() const { return hostTurnTime_; }
    // The longest single host turn, in processor time, since the driver was made or the last
    // ResetLongestTurn.
    std::chrono::nanoseconds LongestTurn() const { return longestTurn_; }
    void ResetLongestTurn() { longestTurn_ = {}; }
    // Posts one request line as the page would and turns until its reply; null after `timeout`.
    const ScriptedPage::Message* Ask(const std::string& id, const std::string& line, std::chrono::milliseconds timeout);

private:
    SimHost& host_;
    ChromiumPage* live_;
    ScriptedPage* page_ = nullptr;
    std::chrono::nanoseconds hostTurnTime_{0};
    std::chrono::nanoseconds longestTurn_{0};
};

// The processor time of the calling thread.
std::chrono::nanoseconds ThreadProcessorTime();
