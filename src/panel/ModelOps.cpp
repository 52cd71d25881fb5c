// The Mailbox drain, the one-step-at-a-time model-operation pump and the event-loop call.
#include "panel/ModelOps.h"

#include "host/AddonResources.h"
#include "host/HostApi.h"
#include "panel/FlagScope.h"
#include "panel/Palette.h"
#include "panel/Upcalls.h"
#include "store/Log.h"

void DrainMailbox(Palette& palette, bool withModelOps) {
    if (palette.draining) return;
    const FlagScope draining(palette.draining);
    // A function that throws (an allocation failure while a large reply is built) is logged and
    // the rest of the batch still runs: nothing of it may reach the host, and no later drain may
    // be lost to it.
    for (PaletteFunction& function : TakeAll(*ProcessMailbox())) {
        try {
            function(palette);
        } catch (...) {
            WriteLog("posted function failed");
        }
    }
    if (withModelOps) {
        RunModelOps(palette);
        Upcalls().selfTestStep(palette);
    }
}

void RunModelOps(Palette& palette) {
    if (palette.modalOpen || palette.captureInFlight) return;
    if (palette.capturePending) {
        if (SteadyNow() >= palette.captureDeadline) Upcalls().captureNow(palette);
        return;
    }
    if (!palette.continuations.empty()) {
        PaletteFunction next = std::move(palette.continuations.front());
        palette.continuations.pop_front();
        next(palette);
        return;
    }
    if (!palette.modelOps.empty()) {
        const ModelOp op = std::move(palette.modelOps.front());
        palette.modelOps.pop_front();
        Upcalls().runModelOp(palette, op);
    }
}

void RunEventLoopCalls(Palette& palette) {
    std::vector<PaletteFunction> calls;
    calls.swap(palette.eventLoopCalls);
    for (PaletteFunction& call : calls) call(palette);
}

void RequestEventLoopCall(Palette& palette) {
    if (palette.eventLoopCallPending || palette.eventLoopCalls.empty()) return;
    const AddonResources& resources = ModuleResources();
    const HostError result =
        Host().CallFromEventLoop({resources.developerId, resources.localId}, FourCharCode("TOVR"), 1, true);
    WriteLog("event loop call " + std::to_string(result));
    if (result != kHostOk)
        RunEventLoopCalls(palette);
    else
        palette.eventLoopCallPending = true;
}

void OnTimer() {
    if (Palette* palette = LivePalette()) DrainMailbox(*palette, false);
}
