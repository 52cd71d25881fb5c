// The requests a simulator run has posted to the scripted page, followed through its timeline.
#include "sim/PageRequests.h"

#include <algorithm>

PageRequests::PageRequests(const ScriptedPage& page)
    : page_(page), timelineSeen_(page.Timeline().size()), messagesSeen_(page.Messages().size()) {}

void PageRequests::Sent(const std::string& id) { requests_.push_back(Request{id, State::Waiting, nullptr}); }

std::vector<std::string> PageRequests::Update() {
    std::vector<std::string> dropped;
    const std::vector<std::string>& timeline = page_.Timeline();
    const std::vector<ScriptedPage::Message>& messages = page_.Messages();
    for (; timelineSeen_ < timeline.size(); ++timelineSeen_) {
        if (timeline[timelineSeen_] == "load") {
            for (Request& r : requests_) {
                if (r.state != State::Waiting) continue;
                r.state = State::Dropped;
                dropped.push_back(r.id);
            }
            continue;
        }
        // Every other entry is a message, in the order of the page's messages.
        if (messagesSeen_ >= messages.size()) break;
        const ScriptedPage::Message& message = messages[messagesSeen_++];
        if (!message.document->HasMember("id")) continue;  // an event
        const std::string id = message.Id();
        const auto waiting = std::find_if(requests_.begin(), requests_.end(),
                                          [&](const Request& r) { return r.state == State::Waiting && r.id == id; });
        if (waiting == requests_.end()) continue;
        waiting->state = State::Answered;
        waiting->reply = message.document;
    }
    return dropped;
}

size_t PageRequests::Count(State state) const {
    return static_cast<size_t>(
        std::count_if(requests_.begin(), requests_.end(), [&](const Request& r) { return r.state == state; }));
}

const PageRequests::Request* PageRequests::Last(const std::string& id) const {
    const auto last = std::find_if(requests_.rbegin(), requests_.rend(), [&](const Request& r) { return r.id == id; });
    return last == requests_.rend() ? nullptr : &*last;
}

PageRequests::State PageRequests::StateOf(const std::string& id) const {
    const Request* r = Last(id);
    return r == nullptr ? State::NotSent : r->state;
}

const rapidjson::Value* PageRequests::ReplyTo(const std::string& id) const {
    const Request* r = Last(id);
    return r == nullptr ? nullptr : r->reply.get();
}
