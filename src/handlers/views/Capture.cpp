// Capturing views is not available yet: "capture" is answered "unsupported" from its event-loop
// call, and nothing is left pending.
#include "handlers/views/Views.h"

#include "panel/ModelOps.h"
#include "panel/Palette.h"
#include "panel/Replies.h"

namespace OvraViews {
void StartCapture(Palette& palette, const std::string& id, const rapidjson::Value& payload) {
    palette.captureInFlight = true;
    palette.eventLoopCalls.push_back([id, viewId = StringMember(payload, "viewId")](Palette& p) {
        Capture(p, id, viewId);
        p.captureInFlight = false;
    });
    RequestEventLoopCall(palette);
}

void Capture(Palette& palette, const std::string& requestId, const std::string&) {
    ReplyError(palette, requestId, MakeFailure("unsupported", "", 0));
}

void CaptureNow(Palette& palette) { palette.capturePending = false; }
}  // namespace OvraViews
