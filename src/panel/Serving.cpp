// The serving request, failure answers and the call-back barrier.
#include "panel/Serving.h"

#include "panel/Palette.h"
#include "panel/Replies.h"
#include "store/Log.h"

// The scopes nest (a request dispatched from inside a task), so each keeps the one it replaced.
ServingScope::ServingScope(Palette& palette, RequestTag tag)
    : palette_(palette), state_{std::move(tag), false, false}, previous_(palette.serving_) {
    palette_.serving_ = &state_;
}

ServingScope::~ServingScope() { palette_.serving_ = previous_; }

void ServingScope::AnswerFailure() {
    if (state_.tag.id.empty() || state_.answered || state_.handedOn) return;
    try {
        if (state_.tag.okOnFailure)
            ReplyOk(palette_, state_.tag.id, "{}");
        else
            ReplyError(palette_, state_.tag.id, MakeFailure("internal", "", 0));
    } catch (...) {
        // Nothing more can be done for it: the barrier logs the failure.
    }
}

void Serve(Palette& palette, RequestTag tag, const std::function<void()>& work) {
    ServingScope scope(palette, std::move(tag));
    try {
        work();
    } catch (...) {
        scope.AnswerFailure();
        throw;
    }
}

void RunTask(Palette& palette, HostTask& task) {
    if (!task.tag.id.empty() && !palette.IsCurrentLoad(task.tag.load)) {
        WriteLog("reply dropped after reload " + task.tag.id);
        return;
    }
    PaletteFunction run = std::move(task.run);
    Serve(palette, std::move(task.tag), [&] { run(palette); });
}

void AtHostCallBack(const char* callBack, const std::function<void()>& body) noexcept {
    try {
        body();
    } catch (...) {
        try {
            WriteLog(std::string("call-back failed: ") + callBack);
        } catch (...) {
        }
    }
}
