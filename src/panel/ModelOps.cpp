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
std::string TypeOf(const rapidjson::Value& request) {
    auto it = request.FindMember("type");
    return it != request.MemberEnd() && it->value.IsString()
               ? std::string(it->value.GetString(), it->value.GetStringLength())
               : std::string();
}

std::string ViewIdOf(const rapidjson::Value& payload) {
    if (!payload.IsObject()) return {};
    auto it = payload.FindMember("viewId");
    return it != payload.MemberEnd() && it->value.IsString()
               ? std::string(it->value.GetString(), it->value.GetStringLength())
               : std::string();
}

void RunModelOp(Palette& palette, const ModelOp& op) {
    const std::string type = TypeOf(*op.request);
    const rapidjson::Value& payload = PayloadOf(*op.request);
    if (type == "listViews") {
        OvraViews::ListViews(palette, op.id);
    } else if (type == "capture") {
        palette.captureInFlight = true;
        palette.eventLoopCalls.push_back([id = op.id, viewId = ViewIdOf(payload)](Palette& p) {
            p.Capture(id, viewId);
            p.captureInFlight = false;
        });
        RequestEventLoopCall(palette);
    } else if (type == "place") {
        OvraViews::Place(palette, op.id, payload);
    } else if (type == "pickFile") {
        HandlePickFile(palette, op.id, payload);
    } else if (type == "saveFiles") {
        SaveFiles(palette, op.id, payload);
    }
}
}  // namespace

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
        RunModelOp(palette, op);
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
