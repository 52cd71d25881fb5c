// Getting work back onto the host thread: the Mailbox drain, the one-step-at-a-time pump of
// queued model operations, and the host's event-loop call. Host thread only.
#pragma once
#include <rapidjson/fwd.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "panel/FlagScope.h"
#include "panel/Mailbox.h"

class Palette;

// A queued model operation: the request it serves and the parsed request, read again when it
// runs.
struct ModelOp {
    RequestTag tag;
    std::shared_ptr<rapidjson::Document> request;
};

class ModelPump {
public:
    ModelPump() = default;
    ModelPump(const ModelPump&) = delete;
    ModelPump& operator=(const ModelPump&) = delete;

    // Runs the functions posted to the Mailbox, in posting order; with model operations also
    // advances the pump by one step and tells the layers above that the pump turned. A drain
    // inside a drain does nothing. When a function throws, the rest of the batch goes back to
    // the front of the Mailbox and the exception goes on to the host call-back's barrier.
    void Drain(Palette& palette, bool withModelOps);

    // Queues a model operation behind the others.
    void Queue(ModelOp op);
    // Queues the next step of a model operation, run by the pump ahead of queued operations.
    void Continue(RequestTag tag, PaletteFunction step);
    // Queues a function for the host's event loop and asks the host to call the add-on's module
    // command back from there; when the host refuses, the waiting calls run at once.
    void CallFromEventLoop(Palette& palette, RequestTag tag, PaletteFunction call);
    // Runs and empties the waiting event-loop calls, in order: the module command.
    void RunEventLoopCalls(Palette& palette);
    // Forgets the waiting steps and event-loop calls of a request that has been answered.
    void Forget(const std::string& id);
    // Takes every queued model operation out, for a project change to answer.
    std::deque<ModelOp> TakeQueued();

    // True while a modal dialog of the add-on is open: the pump waits.
    bool ModalOpen() const { return modalOpen_; }
    // True when nothing waits: no queued operation, step or event-loop call.
    bool Empty() const;

private:
    friend class ModalDialogScope;
    void Step(Palette& palette);

    std::deque<ModelOp> modelOps_;
    std::deque<HostTask> continuations_;
    std::vector<HostTask> eventLoopCalls_;
    bool eventLoopCallPending_ = false;
    bool draining_ = false;
    bool modalOpen_ = false;
};

// Marks the pump's modal dialog open for as long as it lives, however the scope is left.
class ModalDialogScope {
public:
    explicit ModalDialogScope(ModelPump& pump) : open_(pump.modalOpen_) {}

private:
    FlagScope open_;
};

// The 100 ms thread timer: drains the live palette's Mailbox without model operations.
void OnTimer();
