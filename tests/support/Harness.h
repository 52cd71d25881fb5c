// A simulated host running the linked add-on, with the palette open and the page loaded:
// the common start of the behavioural suites.
#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "panel/Palette.h"
#include "sim/host/SimHost.h"
#include "support/ScratchFolders.h"

class Harness {
public:
    // Loads the add-on into a new simulated host; `open` also opens the palette and finishes
    // the first page load.
    explicit Harness(bool open = true);
    ~Harness();

    SimHost& host() { return *host_; }
    const ScratchFolders& folders() const { return folders_; }
    ScriptedPage& page() { return *host_->Page(); }
    Palette& palette();

    // Posts a request text through TamselAC.post on the host thread.
    void Post(const std::string& text);
    // Delivers idle notifications, the host's only driver of the model-operation pump.
    void Idle(int times = 1);
    // Turns the host loop (100 ms of simulated time a turn) until `duration` has passed, as a
    // user does who waits for the 3D window to draw.
    void TurnFor(std::chrono::milliseconds duration);
    // The ids of the replies the page has received, in arrival order.
    std::vector<std::string> ReplyIds() const;
    // The single reply to an id; fails the test when there is not exactly one.
    const ScriptedPage::Message* OnlyReplyTo(const std::string& id) const;

private:
    ScratchFolders folders_;
    std::unique_ptr<SimHost> host_;
};

// A request text with the given id, type and payload (raw JSON, omitted when empty).
std::string Request(const std::string& id, const std::string& type, const std::string& payload = "");
