// What a piece of host-thread work belongs to: the request it serves, if any, and the page load
// that sent that request.
#pragma once
#include <cstdint>
#include <string>

struct RequestTag {
    // The request's id; empty for work that serves no request (events, the project change).
    std::string id;
    // The page load the request came from. Work for an earlier load is not done once the page
    // has been reloaded: its page is gone.
    uint64_t load = 0;
    // A request that must be answered ok {} however its work fails (the sign-out, which has
    // already happened by the time anything can fail).
    bool okOnFailure = false;
};

// The request that the host-thread work running now serves, and what has become of it: answered,
// or handed on to work that will answer it later.
struct ServingState {
    RequestTag tag;
    bool answered = false;
    bool handedOn = false;
};
