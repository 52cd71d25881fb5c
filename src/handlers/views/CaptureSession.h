// The capture being served, one at a time, from the moment the pump takes it from the queue until
// it is answered: a state machine that holds the model-operation pump while it runs. Host
// thread only.
#pragma once
#include <rapidjson/fwd.h>

#include <cstdint>
#include <string>

#include "panel/PumpHold.h"
#include "panel/RequestTag.h"
#include "panel/ViewState.h"
#include "platform/Clock.h"

namespace OvraViews {
class CaptureSession final : public PumpHold {
public:
    enum class State {
        Idle,
        WaitingForEventLoop,  // the view is opened from the host's event loop
        Settling,             // the view is open; the picture is taken at the deadline
    };

    // The palette's session, made on first use.
    static CaptureSession& Of(Palette& palette);

    State Now() const { return state_; }

    // Takes the serving "capture" request: asks the host for the event-loop call that opens the
    // view.
    void Start(Palette& palette, const std::string& viewId);
    // The event-loop call: opens the view and sets the deadline, or answers at once when the
    // view is refused or cannot be opened.
    void Open(Palette& palette);
    // Takes the picture once the deadline has passed, puts the user's view back, and answers.
    void TakePicture(Palette& palette);

    bool Holding() const override { return state_ != State::Idle; }
    void Turn(Palette& palette) override;
    void Cancel(Palette& palette, CancelReason reason) override;

private:
    void Reset();

    State state_ = State::Idle;
    RequestTag request_;
    std::string viewId_;
    SteadyTime deadline_{};
    // Whether the picture step puts the user's view back: not when the view captured was the
    // 3D window already in front.
    bool restoreNeeded_ = true;
    ViewStateSnapshot saved_;
};
// The state of the palette's capture, for benchmarks and fuzz targets that step it themselves.
CaptureSession::State CaptureStateOf(Palette& palette);
}  // namespace OvraViews
