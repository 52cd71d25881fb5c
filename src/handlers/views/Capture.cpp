// "capture": the view is opened from the host's event loop, the picture is taken once the 3D
// window has had 2.5 s to draw it, the user's view is put back, and the JPEG is stored under a
// "cap" file reference and answered with a preview.
#include <chrono>

#include "handlers/views/Cameras.h"
#include "handlers/views/CaptureSession.h"
#include "handlers/views/Picture.h"
#include "handlers/views/Views.h"
#include "panel/ModelOps.h"
#include "panel/Palette.h"
#include "panel/Replies.h"
#include "panel/Serving.h"
#include "panel/TestMode.h"
#include "store/DataUrl.h"
#include "store/FileStore.h"
#include "store/Images.h"
#include "store/Log.h"

namespace OvraViews {
namespace {
constexpr std::chrono::nanoseconds kSettlingDelay{2'500'000'000};
constexpr int kPreviewSide = 640, kPreviewQuality = 82;

// The orbit the host's own test run captures, accepted only in that mode.
bool Accepted(const std::string& viewId) {
    return viewId == "current" || ViewCameras().count(viewId) != 0 ||
           (viewId == "selftest-orbit" && TestRunMode());
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

// The picture's reply: its file reference, preview, size and pixel size.
std::string PictureResult(const std::string& fileRef, const std::string& preview, const std::string& jpeg) {
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
    return result;
}

// Stores the picture and answers the serving request with it; the preview is kept for listings.
void AnswerWithPicture(Palette& palette, const std::string& viewId, const std::string& jpeg) {
    const std::string id = palette.Serving().id;
    const std::string fileRef = NewFileRef("cap");
    if (!StoreBytes(fileRef, jpeg)) return ReplyError(palette, id, MakeFailure("capture_failed", "", 0));
    std::string preview, small;
    if (EncodeJpeg(jpeg, kPreviewSide, kPreviewQuality, &small)) {
        preview = MakeDataUrl("image/jpeg", small);
        palette.Previews()[viewId] = preview;
    }
    WriteLog("capture ok " + std::to_string(jpeg.size()) + " bytes via " + captureMethod);
    ReplyOk(palette, id, PictureResult(fileRef, preview, jpeg));
}
}  // namespace

CaptureSession& CaptureSession::Of(Palette& palette) {
    std::unique_ptr<PumpHold>& slot = palette.HeldWork();
    if (!slot) slot = std::make_unique<CaptureSession>();
    return static_cast<CaptureSession&>(*slot);
}

void CaptureSession::Reset() {
    state_ = State::Idle;
    request_ = RequestTag{};
    viewId_.clear();
    restoreNeeded_ = true;
    saved_ = ViewStateSnapshot{};
}

void CaptureSession::Start(Palette& palette, const std::string& viewId) {
    // Known from now on, so that a project change before the host's call-back can answer it.
    request_ = palette.HandOff();
    viewId_ = viewId;
    state_ = State::WaitingForEventLoop;
    palette.Pump().CallFromEventLoop(palette, request_, [](Palette& p) { Of(p).Open(p); });
}

void CaptureSession::Open(Palette& palette) {
    if (state_ != State::WaitingForEventLoop) return;
    const std::string id = request_.id;
    if (viewId_.empty()) {
        Reset();
        return ReplyError(palette, id, MakeFailure("view_not_found", "", 0));
    }
    if (!Accepted(viewId_)) {
        WriteLog("capture refused view_unavailable " + viewId_);
        Reset();
        return ReplyError(palette, id, MakeFailure("view_unavailable", "saved_view_without_camera", 0));
    }
    saved_.Take();
    try {
        const bool alreadyShown = viewId_ == "current" && Is3DWindowCurrent();
        WriteLog("capture opening " + viewId_);
        const HostError status = OpenView(viewId_);
        if (status != kHostOk) {
            saved_.Restore();
            WriteLog("capture open failed " + std::to_string(status));
            Reset();
            return ReplyError(palette, id, MakeFailure(status == kNotFound ? "view_not_found" : "open_3d", "", 0));
        }
        const SteadyTime now = SteadyNow();
        deadline_ = alreadyShown ? now : now + std::chrono::duration_cast<SteadyTime::duration>(kSettlingDelay);
        WriteLog("capture opened " + viewId_ + (viewId_.rfind("nav-", 0) == 0 ? " (" + LastCameraText() + ")" : ""));
        restoreNeeded_ = !alreadyShown;
        state_ = State::Settling;
    } catch (...) {
        // The request is answered by the call-back's barrier; the user's view goes back first.
        saved_.Restore();
        Reset();
        throw;
    }
}

void CaptureSession::Turn(Palette& palette) {
    if (state_ == State::Settling && SteadyNow() >= deadline_) TakePicture(palette);
}

void CaptureSession::TakePicture(Palette& palette) {
    if (state_ != State::Settling) return;
    // The session is idle from here on, whatever happens: what it still needs is moved out.
    const RequestTag request = request_;
    const ViewStateSnapshot saved = saved_;
    const bool restore = restoreNeeded_;
    const std::string viewId = viewId_;
    Reset();
    Serve(palette, request, [&] {
        std::string jpeg, errorCode = "open_3d";
        bool captured = false;
        try {
            captured = Is3DWindowCurrent() && CaptureView(true, &jpeg, &errorCode);
        } catch (...) {
            if (restore) saved.Restore();
            throw;
        }
        if (restore) {
            saved.Restore();
            LogRestoreOutcome(saved);
        }
        if (captured) {
            AnswerWithPicture(palette, viewId, jpeg);
        } else if (errorCode == "empty_view") {
            WriteLog("capture refused empty_view");
            ReplyOk(palette, request.id, "{\"empty\":true}");
        } else {
            WriteLog("capture refused " + errorCode);
            ReplyError(palette, request.id, MakeFailure(errorCode, "", 0));
        }
    });
}

void CaptureSession::Cancel(Palette& palette, CancelReason reason) {
    if (state_ == State::Idle) return;
    const RequestTag request = request_;
    const bool opened = state_ == State::Settling;
    const ViewStateSnapshot saved = saved_;
    const bool restore = restoreNeeded_;
    Reset();
    palette.Pump().Forget(request.id);
    if (reason == CancelReason::Release) {
        // Nobody would put the user's view back later.
        if (opened && restore) saved.Restore();
        return;
    }
    // Nothing of the old project's view state is put back into the new one.
    const ServingScope scope(palette, request);
    ReplyError(palette, request.id, MakeFailure("view_not_found", "", 0));
}

void StartCapture(Palette& palette, const std::string&, const rapidjson::Value& payload) {
    CaptureSession::Of(palette).Start(palette, StringMember(payload, "viewId"));
}

CaptureSession::State CaptureStateOf(Palette& palette) { return CaptureSession::Of(palette).Now(); }

void CaptureNow(Palette& palette) { CaptureSession::Of(palette).TakePicture(palette); }
}  // namespace OvraViews
