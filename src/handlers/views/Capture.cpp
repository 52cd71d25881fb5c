// "capture": the view is opened from the host's event loop, the picture is taken once the 3D
// window has had 2.5 s to draw it, the user's view is put back, and the JPEG is stored under a
// "cap" file reference and answered with a preview.
#include <chrono>

#include "handlers/selftest/SelfTest.h"
#include "handlers/views/Cameras.h"
#include "handlers/views/Picture.h"
#include "handlers/views/Views.h"
#include "panel/ModelOps.h"
#include "panel/Palette.h"
#include "panel/Replies.h"
#include "store/DataUrl.h"
#include "store/FileStore.h"
#include "store/Images.h"
#include "store/Log.h"

namespace OvraViews {
namespace {
constexpr std::chrono::nanoseconds kSettlingDelay{2'500'000'000};
constexpr int kPreviewSide = 640, kPreviewQuality = 82;

bool Accepted(const std::string& viewId) {
    return viewId == "current" || ViewCameras().count(viewId) != 0 || (viewId == "selftest-orbit" && IsSelfTestMode());
}

// After the restore: "same" when the host shows the saved camera (target height aside) and the
// saved kind of window.
void LogRestoreOutcome(const ViewStateSnapshot& saved) {
    Projection3D now;
    bool cameraSame = Host().GetProjection3D(&now) == kHostOk && saved.projectionValid &&
                      now.perspective == saved.projection.perspective;
    if (cameraSame && now.perspective) {
        const PerspectiveCamera &a = now.camera, &b = saved.projection.camera;
        cameraSame = a.cameraX == b.cameraX && a.cameraY == b.cameraY && a.cameraZ == b.cameraZ &&
                     a.targetX == b.targetX && a.targetY == b.targetY;
    }
    WindowInfo front;
    const bool windowSame = Host().GetFrontWindow(&front) == kHostOk && front.kind == saved.window.kind;
    WriteLog(std::string("capture restore: camera ") + (cameraSame ? "same" : "DIFFERENT") + ", window " +
             (windowSame ? "same" : "DIFFERENT"));
}

// Stores the picture and answers with its file reference, preview, size and pixel size.
void ReplyWithPicture(Palette& palette, const std::string& jpeg) {
    const std::string fileRef = NewFileRef("cap");
    if (!StoreBytes(fileRef, jpeg)) {
        ReplyError(palette, palette.captureRequestId, MakeFailure("capture_failed", "", 0));
        return;
    }
    std::string preview, small;
    if (EncodeJpeg(jpeg, kPreviewSide, kPreviewQuality, &small)) {
        preview = MakeDataUrl("image/jpeg", small);
        palette.previews[palette.captureViewId] = preview;
    }
    WriteLog("capture ok " + std::to_string(jpeg.size()) + " bytes via " + captureMethod);
    int width = 0, height = 0;
    ImagePixelSize(jpeg, &width, &height);
    std::string result;
    result.reserve(preview.size() + 160);
    result += "{\"fileRef\":" + JsonQuote(fileRef);
    if (!preview.empty()) {
        // A data URL holds no character that needs escaping.
        result += ",\"preview\":\"";
        result += preview;
        result += '"';
    }
    result += ",\"sizeBytes\":" + std::to_string(jpeg.size()) + ",\"width\":" + std::to_string(width) +
              ",\"height\":" + std::to_string(height) + "}";
    ReplyOk(palette, palette.captureRequestId, result);
}
}  // namespace

void StartCapture(Palette& palette, const std::string& id, const rapidjson::Value& payload) {
    const std::string viewId = StringMember(payload, "viewId");
    palette.captureInFlight = true;
    // Known from now on, so that a project change before the host's call-back can answer it.
    palette.captureRequestId = id;
    palette.captureViewId = viewId;
    const uint64_t ticket = ++palette.captureTicket;
    palette.eventLoopCalls.push_back([id, viewId, ticket](Palette& p) {
        if (p.captureTicket != ticket) return;  // a project change has answered it
        Capture(p, id, viewId);
        p.captureInFlight = false;
    });
    RequestEventLoopCall(palette);
}

void Capture(Palette& palette, const std::string& requestId, const std::string& viewId) {
    if (viewId.empty()) {
        ReplyError(palette, requestId, MakeFailure("view_not_found", "", 0));
        return;
    }
    if (!Accepted(viewId)) {
        WriteLog("capture refused view_unavailable " + viewId);
        ReplyError(palette, requestId, MakeFailure("view_unavailable", "saved_view_without_camera", 0));
        return;
    }
    palette.captureRequestId = requestId;
    palette.captureViewId = viewId;
    palette.savedViewState.Take();
    const bool alreadyShown = viewId == "current" && Is3DWindowCurrent();
    WriteLog("capture opening " + viewId);
    const HostError status = OpenView(viewId);
    if (status != kHostOk) {
        palette.savedViewState.Restore();
        WriteLog("capture open failed " + std::to_string(status));
        ReplyError(palette, requestId, MakeFailure(status == kNotFound ? "view_not_found" : "open_3d", "", 0));
        return;
    }
    const SteadyTime now = SteadyNow();
    palette.captureDeadline =
        alreadyShown ? now : now + std::chrono::duration_cast<SteadyTime::duration>(kSettlingDelay);
    WriteLog("capture opened " + viewId + (viewId.rfind("nav-", 0) == 0 ? " (" + LastCameraText() + ")" : ""));
    palette.restoreNeeded = !alreadyShown;
    palette.capturePending = true;
}

void CaptureNow(Palette& palette) {
    palette.capturePending = false;
    std::string jpeg, errorCode = "open_3d";
    const bool captured = Is3DWindowCurrent() && CaptureView(true, &jpeg, &errorCode);
    if (palette.restoreNeeded) {
        palette.savedViewState.Restore();
        LogRestoreOutcome(palette.savedViewState);
    }
    if (captured) {
        ReplyWithPicture(palette, jpeg);
    } else if (errorCode == "empty_view") {
        WriteLog("capture refused empty_view");
        ReplyOk(palette, palette.captureRequestId, "{\"empty\":true}");
    } else {
        WriteLog("capture refused " + errorCode);
        ReplyError(palette, palette.captureRequestId, MakeFailure(errorCode, "", 0));
    }
}
}  // namespace OvraViews
