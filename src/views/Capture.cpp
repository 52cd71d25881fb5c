// Capturing views is not available yet: "capture" is answered "unsupported" from its event-loop
// call, and nothing is left pending.
#include "panel/Bridge.h"
#include "panel/Palette.h"

void Palette::Capture(const std::string& requestId, const std::string&) {
    ReplyError(*this, requestId, MakeFailure("unsupported", "", 0));
}

void Palette::CaptureNow() { capturePending = false; }
