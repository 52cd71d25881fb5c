// The requests a simulator run has posted to the scripted page and what became of each: answered
// by a reply, or dropped when the page was loaded again before its reply came. Host thread only,
// as the page's records are.
#pragma once
#include <rapidjson/document.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "sim/browser/ScriptedPage.h"

class PageRequests {
public:
    enum class State { NotSent, Waiting, Answered, Dropped };

    // What the page has seen before this is history: no request of this run is waiting for it.
    explicit PageRequests(const ScriptedPage& page);

    // A request with this id was just posted to the page, and a reply is due.
    void Sent(const std::string& id);
    // Reads what the page has seen since the last call, in its order: a reply answers the
    // earliest waiting request with its id (a reply that answers none is left alone), and a
    // load drops every request still waiting. The ids dropped, in the order they were sent.
    std::vector<std::string> Update();

    // How many requests are in this state.
    size_t Count(State state) const;
    // The last request sent with this id: its state, and its reply once answered (else null).
    State StateOf(const std::string& id) const;
    const rapidjson::Value* ReplyTo(const std::string& id) const;

private:
    struct Request {
        std::string id;
        State state = State::Waiting;
        std::shared_ptr<rapidjson::Document> reply;
    };
    const Request* Last(const std::string& id) const;

    const ScriptedPage& page_;
    size_t timelineSeen_ = 0, messagesSeen_ = 0;
    std::vector<Request> requests_;
};
