// Running host-thread work for the request it serves, and the barrier at every host call-back.
// Host thread only.
#pragma once
#include <functional>

#include "panel/Mailbox.h"

class Palette;

// Makes `tag` the palette's serving request for as long as it lives, and puts back the one
// before it after.
class ServingScope {
public:
    ServingScope(Palette& palette, RequestTag tag);
    ~ServingScope();
    ServingScope(const ServingScope&) = delete;
    ServingScope& operator=(const ServingScope&) = delete;

    // Answers the request after its work failed, unless it was answered or handed on: "internal",
    // or ok {} for a request answered ok on every path. Never throws.
    void AnswerFailure();

private:
    Palette& palette_;
    ServingState state_;
    ServingState* previous_;
};

// Runs `work` serving `tag`; when it throws, the request is answered as AnswerFailure says and the
// exception goes on.
void Serve(Palette& palette, RequestTag tag, const std::function<void()>& work);

// Runs one task: not at all when it serves a request of a page load since replaced, which is
// logged "reply dropped after reload " + id; otherwise through Serve.
void RunTask(Palette& palette, HostTask& task);

// The barrier of a host call-back: whatever `body` throws is caught and logged in one line
// naming the call-back, and nothing reaches the host. Never throws.
void AtHostCallBack(const char* callBack, const std::function<void()>& body) noexcept;
