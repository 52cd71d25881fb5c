// The driver of the palette's page.
#include "sim/PanelDriver.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include "sim/host/SimHost.h"

PanelDriver::~PanelDriver() {
    if (page_ != nullptr && !host_.Released() && host_.Page() == page_) page_->Mirror(nullptr);
}

bool PanelDriver::Open(std::string* error) {
    if (!host_.Start()) return *error = "the add-on did not start", false;
    host_.OpenPaletteFromMenu();
    page_ = host_.Page();
    if (page_ == nullptr) return *error = "the palette did not open", false;
    if (live_ != nullptr) page_->Mirror(live_);
    return true;
}

std::chrono::nanoseconds ThreadProcessorTime() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user)) return {};
    const auto ticks = [](const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    return std::chrono::nanoseconds((ticks(kernel) + ticks(user)) * 100);
#else
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
#endif
}

void PanelDriver::Turn() {
    const std::chrono::nanoseconds start = ThreadProcessorTime();
    host_.Turn();
    const std::chrono::nanoseconds spent = ThreadProcessorTime() - start;
    hostTurnTime_ += spent;
    longestTurn_ = std::max(longestTurn_, spent);
    if (live_ != nullptr) live_->Pump();
}

bool PanelDriver::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Turn();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool PanelDriver::WaitForScript(const std::string& expression, std::chrono::milliseconds timeout, std::string* error,
                                std::chrono::milliseconds every) {
    if (live_ == nullptr) return *error = "no live page", false;
    std::string why = "timed out";
    auto lastCheck = std::chrono::steady_clock::time_point{};
    const bool met = RunUntil(
        [&] {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastCheck < every) return false;
            lastCheck = now;
            auto value = live_->Evaluate("!!(" + expression + ")", &why);
            return value && *value == "true";
        },
        timeout);
    if (!met) *error = "waiting for " + expression + ": " + why;
    return met;
}

std::string PanelDriver::Text(const std::string& selector) {
    if (live_ == nullptr) return {};
    auto value = live_->Evaluate("(function(){var e=document.querySelector('" + selector +
                                 "');return e?e.textContent:''})()");
    rapidjson::Document d;
    if (value) d.Parse(value->c_str());
    return value && d.IsString() ? std::string(d.GetString(), d.GetStringLength()) : std::string();
}

const ScriptedPage::Message* PanelDriver::Ask(const std::string& id, const std::string& line,
                                              std::chrono::milliseconds timeout) {
    const size_t before = page_->RepliesTo(id).size();
    page_->Post(line);
    const bool answered = RunUntil([&] { return page_->RepliesTo(id).size() > before; }, timeout);
    return answered ? page_->RepliesTo(id).back() : nullptr;
}
