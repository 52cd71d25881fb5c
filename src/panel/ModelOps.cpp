// The Mailbox drain, the one-step-at-a-time model-operation pump and the event-loop call.
#include "panel/ModelOps.h"

#include <algorithm>

#include "host/AddonResources.h"
#include "host/HostApi.h"
#include "panel/FlagScope.h"
#include "panel/HostThread.h"
#include "panel/Palette.h"
#include "panel/Serving.h"
#include "panel/Upcalls.h"
#include "store/Log.h"

namespace {
// Runs the tasks in order. When one throws, it is not run again: `keepRest` takes the ones after
// it, and the exception goes on.
template <class KeepRest>
void RunInOrder(Palette& palette, std::vector<HostTask>& tasks, KeepRest keepRest) {
    size_t next = 0;
    try {
        while (next < tasks.size()) RunTask(palette, tasks[next++]);
    } catch (...) {
        tasks.erase(tasks.begin(), tasks.begin() + static_cast<std::ptrdiff_t>(next));
        keepRest(std::move(tasks));
        throw;
    }
}
}  // namespace

void ModelPump::Drain(Palette& palette, bool withModelOps) {
    CheckHostThread("ModelPump::Drain");
    if (draining_) return;
    const FlagScope draining(draining_);
    palette.CatchUpWithProject();
    std::vector<HostTask> batch = TakeAll(*ProcessMailbox());
    // The rest keep their place, ahead of anything posted since.
    RunInOrder(palette, batch, [](std::vector<HostTask> rest) { PutBack(*ProcessMailbox(), std::move(rest)); });
    if (withModelOps) {
        Step(palette);
        Upcalls().pumpTurned(palette);
    }
}

void ModelPump::Step(Palette& palette) {
    if (modalOpen_) return;
    if (const auto& held = palette.HeldWork(); held && held->Holding()) return held->Turn(palette);
    if (!continuations_.empty()) {
        HostTask next = std::move(continuations_.front());
        continuations_.pop_front();
        return RunTask(palette, next);
    }
    if (!modelOps_.empty()) {
        const ModelOp op = std::move(modelOps_.front());
        modelOps_.pop_front();
        Serve(palette, op.tag, [&] { Upcalls().runModelOp(palette, op); });
    }
}

void ModelPump::Queue(ModelOp op) { modelOps_.push_back(std::move(op)); }

void ModelPump::Continue(RequestTag tag, PaletteFunction step) {
    continuations_.push_back(HostTask{std::move(tag), std::move(step)});
}

void ModelPump::CallFromEventLoop(Palette& palette, RequestTag tag, PaletteFunction call) {
    eventLoopCalls_.push_back(HostTask{std::move(tag), std::move(call)});
    if (eventLoopCallPending_) return;
    const AddonResources& resources = ModuleResources();
    const HostError result =
        Host().CallFromEventLoop({resources.developerId, resources.localId}, FourCharCode("TOVR"), 1, true);
    WriteLog("event loop call " + std::to_string(result));
    if (result != kHostOk)
        RunEventLoopCalls(palette);
    else
        eventLoopCallPending_ = true;
}

void ModelPump::RunEventLoopCalls(Palette& palette) {
    CheckHostThread("ModelPump::RunEventLoopCalls");
    eventLoopCallPending_ = false;
    std::vector<HostTask> calls;
    calls.swap(eventLoopCalls_);
    // The rest wait for the next call-back, ahead of calls queued since.
    RunInOrder(palette, calls, [this](std::vector<HostTask> rest) {
        for (HostTask& later : eventLoopCalls_) rest.push_back(std::move(later));
        eventLoopCalls_.swap(rest);
    });
}

void ModelPump::Forget(const std::string& id) {
    const auto serves = [&](const HostTask& task) { return task.tag.id == id; };
    continuations_.erase(std::remove_if(continuations_.begin(), continuations_.end(), serves), continuations_.end());
    eventLoopCalls_.erase(std::remove_if(eventLoopCalls_.begin(), eventLoopCalls_.end(), serves),
                          eventLoopCalls_.end());
}

std::deque<ModelOp> ModelPump::TakeQueued() {
    std::deque<ModelOp> taken;
    taken.swap(modelOps_);
    return taken;
}

bool ModelPump::Empty() const {
    return modelOps_.empty() && continuations_.empty() && eventLoopCalls_.empty() && !eventLoopCallPending_;
}

void OnTimer() {
    AtHostCallBack("timer", [] {
        if (Palette* palette = LivePalette()) palette->Pump().Drain(*palette, false);
    });
}
