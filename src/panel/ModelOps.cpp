// The Mailbox drain, the one-step-at-a-time model-operation pump and the event-loop call.
#include "panel/ModelOps.h"

#include <rapidjson/document.h>

#include "host/AddonResources.h"
#include "host/HostApi.h"
#include "output/Output.h"
#include "panel/Bridge.h"
#include "panel/Palette.h"
#include "selftest/SelfTest.h"
#include "shell/Log.h"
#include "views/Views.h"

namespace {
void StartCapture(Palette& palette, const std::string& id, const rapidjson::Value& payload) {
    palette.captureInFlight = true;
    palette.eventLoopCalls.push_back([id, viewId = StringMember(payload, "viewId")](Palette& p) {
        p.Capture(id, viewId);
        p.captureInFlight = false;
    });
    RequestEventLoopCall(palette);
}

// The queued request types and the step that serves each.
struct ModelOpHandler {
    const char* type;
    void (*run)(Palette&, const std::string& id, const rapidjson::Value& payload);
};

const ModelOpHandler kModelOpHandlers[] = {
    {"listViews", [](Palette& p, const std::string& id, const rapidjson::Value&) { OvraViews::ListViews(p, id); }},
    {"capture", StartCapture},
    {"place", OvraViews::Place},
    {"pickFile", HandlePickFile},
    {"saveFiles", SaveFiles},
};

const ModelOpHandler* HandlerFor(const std::string& type) {
    for (const ModelOpHandler& h : kModelOpHandlers)
        if (type == h.type) return &h;
    return nullptr;
}
}  // namespace

bool IsModelOpType(const std::string& type) { return HandlerFor(type) != nullptr; }

void DrainMailbox(Palette& palette, bool withModelOps) {
    if (palette.draining) return;
    palette.draining = true;
    for (PaletteFunction& function : TakeAll(*ProcessMailbox())) function(palette);
    if (withModelOps) {
        RunModelOps(palette);
        SelfTestStep(palette);
    }
    palette.draining = false;
}

void RunModelOps(Palette& palette) {
    if (palette.modalOpen || palette.captureInFlight) return;
    if (palette.capturePending) {
        if (SteadyNow() >= palette.captureDeadline) palette.CaptureNow();
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
        if (const ModelOpHandler* handler = HandlerFor(StringMember(*op.request, "type")))
            handler->run(palette, op.id, PayloadOf(*op.request));
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
