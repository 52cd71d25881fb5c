// A real page: Debian's Chromium, headless, driven over its DevTools pipe, as the palette's
// embedded browser. Loads, scripts and native objects go to one page target; the page's calls of a
// native function and its loading changes are queued by the pipe's reader thread and delivered on
// the host thread by Pump, so the add-on sees them as it would from the host's own browser.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/Browser.h"
#include "sim/browser/ChromiumPipe.h"

class ChromiumPage final : public Browser {
public:
    struct Options {
        ChromiumLaunch launch;
        // The page's viewport in CSS pixels: the palette's browser item.
        int width = 360, height = 640;
        // How long starting may take before the browser counts as unable to start.
        std::chrono::milliseconds startTimeout{20000};
    };

    // Starts Chromium and opens one blank page; nothing, with a one-line reason, when it cannot.
    static std::unique_ptr<ChromiumPage> Start(const Options& options, std::string* error);
    ~ChromiumPage() override;
    ChromiumPage(const ChromiumPage&) = delete;
    ChromiumPage& operator=(const ChromiumPage&) = delete;

    // Browser. None of these waits for the page: each sends its command and returns.
    void LoadUrl(const std::u16string& url) override;
    void LoadHtml(const std::u16string& html) override;
    void ExecuteScript(const std::u16string& script) override;
    // window[name] gets one function per entry; each hands its first argument to the host and
    // returns true to the page at once (the host's answer arrives later, as a script).
    void RegisterNativeObject(const NativeObject& object) override;
    void UnregisterNativeObject(const std::string& name) override;
    void OnLoadingStateChanged(std::function<void(bool isLoading)> handler) override;

    // Host thread: delivers the native calls and loading changes that arrived since the last
    // call, in arrival order. Returns how many were delivered.
    size_t Pump();
    bool IsLoading() const { return loading_; }

    // Runs an expression in the page and waits for its value (a promise is awaited), as JSON
    // text ("null" for undefined). Nothing when it threw, the page did not answer in time or the
    // browser has gone; `error` then says which.
    std::optional<std::string> Evaluate(const std::string& expression, std::string* error = nullptr,
                                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // A user's left click at the middle of the first element that matches the CSS selector
    // (scrolled into view first); false when there is none or the browser refused.
    bool Click(const std::string& selector, std::string* error = nullptr);
    // Types text into the focused element, as a keyboard would insert it.
    bool Type(const std::string& text);
    // The whole page as PNG, beyond the viewport (at most 8,000 pixels tall).
    bool Screenshot(std::vector<uint8_t>* png, std::string* error = nullptr);
    // Sets the viewport (CSS pixels); false when the browser refused or has gone.
    bool SetViewport(int width, int height);
    // Uncaught exceptions and console errors of the page, in order, one line each.
    std::vector<std::string> PageErrors() const;
    // False once the browser's pipe has closed.
    bool Alive() const;

private:
    struct Reply {
        bool ok = false;
        std::string result;  // the "result" object as JSON text, or the error message
    };
    struct Pending {
        bool done = false;
        Reply reply;
    };
    struct Event {
        std::string method;
        std::string params;  // JSON text
    };

    ChromiumPage() = default;
    // Sends a command (to the page's session unless `browserLevel`); returns its id, or 0 when the
    // pipe is gone.
    int64_t Send(const std::string& method, const std::string& params, bool browserLevel = false);
    std::optional<Reply> Wait(int64_t id, std::chrono::milliseconds timeout);
    std::optional<Reply> Call(const std::string& method, const std::string& params, std::chrono::milliseconds timeout,
                              bool browserLevel = false);
    void ReadLoop();
    void Deliver(const Event& event);

    std::unique_ptr<ChromiumPipe> pipe_;
    std::thread reader_;
    std::string sessionId_, targetId_;

    mutable std::mutex mutex_;
    std::condition_variable answered_;
    int64_t nextId_ = 1;
    std::map<int64_t, Pending> pending_;
    std::deque<Event> events_;
    std::vector<std::string> pageErrors_;
    bool closed_ = false;

    // Host thread only.
    std::map<std::string, NativeObject> objects_;
    std::map<std::string, std::string> objectScripts_;  // name -> identifier of its new-document script
    std::function<void(bool)> loadingHandler_;
    bool loading_ = false;
    // A load was asked for and its start has not been seen: an earlier document's stop is stale.
    bool awaitingStart_ = false;
};
