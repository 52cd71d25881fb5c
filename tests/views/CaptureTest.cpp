// "capture" through the bridge: opening the view from the host's event loop, the 2.5 s wait on
// simulated time, the picture, the restore of the user's view and its log line, the stored file
// and its preview, the refusals and failures, one capture at a time, and project changes.
#include <gtest/gtest.h>

#include "handlers/views/Cameras.h"
#include "handlers/views/CaptureSession.h"
#include "handlers/views/Picture.h"
#include "store/FileStore.h"
#include "support/FaultyFiles.h"
#include "views/ViewsHarness.h"

using namespace std::chrono_literals;

namespace {

using CaptureState = OvraViews::CaptureSession::State;
constexpr CaptureState Settling = CaptureState::Settling, Waiting = CaptureState::WaitingForEventLoop;
CaptureState StateOf(ViewsHarness& h) { return OvraViews::CaptureStateOf(h.palette()); }

const rapidjson::Value& Result(const ScriptedPage::Message* reply) {
    static const rapidjson::Value kNull;
    if (reply == nullptr || !reply->Ok()) {
        ADD_FAILURE() << (reply ? reply->json : "no reply");
        return kNull;
    }
    return (*reply->document)["result"];
}

std::string ReasonOf(const ScriptedPage::Message* reply) {
    return reply ? Text((*reply->document)["error"], "reason") : std::string();
}

bool SameCamera(const Projection3D& a, const Projection3D& b) {
    const PerspectiveCamera &x = a.camera, &y = b.camera;
    return a.perspective == b.perspective && x.cameraX == y.cameraX && x.cameraY == y.cameraY &&
           x.cameraZ == y.cameraZ && x.targetX == y.targetX && x.targetY == y.targetY && x.targetZ == y.targetZ;
}

// ---- The current view -------------------------------------------------------------------------

TEST(CaptureCurrent, WithThe3DWindowInFrontThePictureIsTakenAtOnceAndNothingIsRestored) {
    ViewsHarness h;
    h.host().UserBringToFront(SimWindowKind::k3D);
    h.TurnFor(h.host().frame3D.drawDelay);  // the user sees the house drawn
    EXPECT_EQ(h.StartCapture("c", "current"), nullptr);
    EXPECT_EQ(StateOf(h), Settling);
    const int redraws = h.host().redraws;
    h.Idle();  // no simulated time passes
    const rapidjson::Value& result = Result(h.OnlyReplyTo("c"));
    EXPECT_EQ(result["width"].GetUint(), 1600u);
    EXPECT_EQ(h.host().redraws, redraws) << "nothing restored";
    EXPECT_FALSE(h.LogContains("capture restore"));
    EXPECT_TRUE(h.Logged("capture opening current"));
    EXPECT_TRUE(h.Logged("capture opened current"));
}

TEST(CaptureCurrent, WithThePlanInFrontThe3DWindowIsOpenedAndThePlanBroughtBack) {
    ViewsHarness h;
    const WindowInfo plan = h.host().front;
    EXPECT_EQ(h.StartCapture("c", "current"), nullptr);
    EXPECT_EQ(h.host().front.kind, SimWindowKind::k3D) << "opened";
    h.Wait(2499ms);
    EXPECT_TRUE(h.page().RepliesTo("c").empty()) << "the 3D window gets 2.5 s to draw";
    h.Wait(1ms);
    const rapidjson::Value& result = Result(h.OnlyReplyTo("c"));
    EXPECT_EQ(result["width"].GetUint(), 1600u);
    EXPECT_EQ(h.host().front.kind, plan.kind);
    EXPECT_EQ(h.host().front.databaseGuid, plan.databaseGuid);
    EXPECT_TRUE(h.Logged("capture restore: camera same, window same"));
    const std::vector<std::string> lines = h.LogLines("capture opening current");
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "capture opened current");
    EXPECT_EQ(lines[2], "capture restore: camera same, window same");
    EXPECT_EQ(lines[3].rfind("capture ok ", 0), 0u) << lines[3];
    EXPECT_NE(lines[3].find(" bytes via GetCurrentImage"), std::string::npos) << lines[3];
}

TEST(CaptureCurrent, TheReplyCarriesTheStoredFileAPreviewAndTheSizes) {
    ViewsHarness h;
    const ScriptedPage::Message* reply = h.Capture("c", "current");
    ASSERT_NE(reply, nullptr);
    // The members in their order.
    EXPECT_EQ(reply->json.find("{\"id\":\"c\",\"ok\":true,\"result\":{\"fileRef\":\"cap-"), 0u) << reply->json;
    const rapidjson::Value& result = Result(reply);
    std::vector<std::string> members;
    for (auto m = result.MemberBegin(); m != result.MemberEnd(); ++m) members.emplace_back(m->name.GetString());
    EXPECT_EQ(members, (std::vector<std::string>{"fileRef", "preview", "sizeBytes", "width", "height"}));

    std::string stored;
    ASSERT_TRUE(LoadFileRef(Text(result, "fileRef"), &stored, kMaxCaptureBytes));
    EXPECT_EQ(stored.size(), result["sizeBytes"].GetUint());
    const Bitmap picture = DecodePicture(stored);
    EXPECT_EQ(picture.width, 1600);
    EXPECT_EQ(picture.height, 1067);
    EXPECT_EQ(result["width"].GetUint(), 1600u);
    EXPECT_EQ(result["height"].GetUint(), 1067u);

    std::string type;
    const Bitmap preview = DecodePicture(DataUrlBytes(Text(result, "preview"), &type));
    EXPECT_EQ(type, "image/jpeg");
    EXPECT_EQ(preview.width, 640);
    EXPECT_EQ(preview.height, 427);
    EXPECT_EQ(h.palette().Previews()["current"], Text(result, "preview"));
}

TEST(CaptureCurrent, WhenTheUserMovesTheCameraDuringTheWaitThePictureShowsItAndTheRestorePutsItBack) {
    ViewsHarness h;
    const Projection3D start = h.host().projection;
    Projection3D moved = start;
    moved.camera.cameraX = 18;
    moved.camera.cameraY = -6;

    std::string stillBytes, movedBytes, expectedBytes;
    ASSERT_TRUE(LoadFileRef(Text(Result(h.Capture("still", "current")), "fileRef"), &stillBytes, kMaxCaptureBytes));

    EXPECT_EQ(h.StartCapture("moving", "current"), nullptr);
    h.Wait(1000ms);
    ASSERT_EQ(h.host().SetProjection3D(moved, 0), kHostOk);  // the user orbits
    h.Wait(1500ms);
    ASSERT_TRUE(LoadFileRef(Text(Result(h.OnlyReplyTo("moving")), "fileRef"), &movedBytes, kMaxCaptureBytes));
    EXPECT_TRUE(SameCamera(h.host().projection, start)) << "the saved camera is back";

    ASSERT_EQ(h.host().SetProjection3D(moved, 0), kHostOk);
    h.host().UserBringToFront(SimWindowKind::k3D);
    h.TurnFor(h.host().frame3D.drawDelay);
    ASSERT_TRUE(LoadFileRef(Text(Result(h.Capture("expected", "current")), "fileRef"), &expectedBytes,
                            kMaxCaptureBytes));
    EXPECT_EQ(movedBytes, expectedBytes) << "the picture is the moved camera's";
    EXPECT_NE(movedBytes, stillBytes);
}

TEST(CaptureCurrent, TheWaitRunsOnTheClockAndHoldsTheQueue) {
    ViewsHarness h;
    EXPECT_EQ(h.StartCapture("c", "current"), nullptr);
    h.Post(Request("list", "listViews"));
    for (int i = 0; i < 10; ++i) h.Idle();
    EXPECT_TRUE(h.page().Messages().empty()) << "no real time counts, and nothing else starts";
    h.Wait(2500ms);
    EXPECT_EQ(h.ReplyIds(), std::vector<std::string>{"c"});
    h.Idle();
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"c", "list"}));
}

// ---- Saved views ------------------------------------------------------------------------------

TEST(CaptureSaved, AListedViewIsOpenedWithItsCameraAndTheUsersViewRestored) {
    ViewsHarness h;
    const std::string id = h.IdOf(h.ListViews(), "Sala de estar C1 \xC2\xB7 Interiores");
    ASSERT_FALSE(id.empty());
    const Projection3D start = h.host().projection;
    EXPECT_EQ(h.StartCapture("c", id), nullptr);
    // The story's level is added to both heights; the camera is on the ground floor (level 0).
    EXPECT_DOUBLE_EQ(h.host().projection.camera.cameraX, 1);
    EXPECT_DOUBLE_EQ(h.host().projection.camera.cameraZ, 1.6);
    EXPECT_TRUE(h.Logged("capture opened " + id +
                         " (camera story 0 level 0.00 pos 1.00 1.20 z 1.60 target 4.50 5.50 z 1.20)"));
    h.Wait(2500ms);
    EXPECT_TRUE(Result(h.OnlyReplyTo("c")).HasMember("fileRef"));
    EXPECT_TRUE(SameCamera(h.host().projection, start));
    EXPECT_EQ(h.host().front.kind, SimWindowKind::kFloorPlan);
    EXPECT_TRUE(h.Logged("capture restore: camera same, window same"));
    EXPECT_TRUE(h.palette().Previews().count(id));
}

TEST(CaptureSaved, AnUpperStoreysCameraIsRaisedByTheStoreysLevel) {
    ViewsHarness h;
    const std::string id = h.IdOf(h.ListViews(), "Quarto C2 \xC2\xB7 Interiores");
    ASSERT_FALSE(id.empty());
    EXPECT_EQ(h.StartCapture("c", id), nullptr);
    EXPECT_DOUBLE_EQ(h.host().projection.camera.cameraZ, 4.6);
    EXPECT_DOUBLE_EQ(h.host().projection.camera.targetZ, 4.3);
    EXPECT_TRUE(h.LogContains("(camera story 1 level 3.00 pos 1.00 7.00 z 4.60 target 5.50 2.00 z 4.30)"));
}

TEST(CaptureSaved, AnIdTheLastListingDidNotRegisterIsRefusedAndNothingIsTouched) {
    ViewsHarness h;
    const rapidjson::Value& listing = h.ListViews();
    const std::string unavailable = h.IdOf(listing, "Perspectiva salva");
    ASSERT_FALSE(unavailable.empty());
    const int redraws = h.host().redraws;
    for (const std::string& id : {std::string("nav-00000000-0000-0000-0000-000000000000"), unavailable,
                                  std::string("selftest-orbit"), std::string("Current")}) {
        const ScriptedPage::Message* reply = h.StartCapture("c-" + id, id);
        ASSERT_NE(reply, nullptr) << id;
        EXPECT_EQ(reply->ErrorCode(), "view_unavailable");
        EXPECT_EQ(ReasonOf(reply), "saved_view_without_camera");
        EXPECT_TRUE(h.Logged("capture refused view_unavailable " + id));
    }
    EXPECT_EQ(h.host().front.kind, SimWindowKind::kFloorPlan);
    EXPECT_EQ(h.host().redraws, redraws);
    EXPECT_FALSE(h.LogContains("capture opening"));
}

TEST(CaptureSaved, BeforeAnyListingNoSavedViewIsKnown) {
    OvraViews::ViewCameras().clear();
    ViewsHarness h;
    const ScriptedPage::Message* reply = h.StartCapture("c", "nav-" + SimGuid("x").ToText());
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->ErrorCode(), "view_unavailable");
}

TEST(CaptureSaved, ACameraDeletedSinceTheListingIsNotFoundAndTheViewRestored) {
    ViewsHarness h;
    const std::string id = h.IdOf(h.ListViews(), "Kitchen 2");
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(h.host().model.DeleteElement(OvraViews::ViewCameras().at(id)));
    const Projection3D start = h.host().projection;
    const ScriptedPage::Message* reply = h.StartCapture("c", id);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->ErrorCode(), "view_not_found");
    EXPECT_TRUE(h.Logged("capture open failed -2130313115"));
    EXPECT_EQ(h.host().front.kind, SimWindowKind::kFloorPlan) << "restored";
    EXPECT_TRUE(SameCamera(h.host().projection, start));
    EXPECT_NE(StateOf(h), Settling);
    EXPECT_NE(StateOf(h), Waiting);
}

TEST(CaptureSaved, AFailureToOpenIsOpen3dWithTheHostsCode) {
    ViewsHarness h;
    const std::string id = h.IdOf(h.ListViews(), "Jardim P2 \xC2\xB7 Percurso");
    const Projection3D start = h.host().projection;
    for (const char* failing : {"ChangeFrontWindow", "SetProjection3D"}) {
        h.host().FailOperation(failing, kHostErrOutOfMemory, true);
        const ScriptedPage::Message* reply = h.StartCapture(std::string("c-") + failing, id);
        ASSERT_NE(reply, nullptr) << failing;
        EXPECT_EQ(reply->ErrorCode(), "open_3d") << failing;
        EXPECT_EQ(h.host().front.kind, SimWindowKind::kFloorPlan) << failing;
        EXPECT_TRUE(SameCamera(h.host().projection, start)) << failing;
    }
    size_t failures = 0;
    for (const std::string& line : h.LogLines()) failures += line == "capture open failed -2130313214";
    EXPECT_EQ(failures, 2u);
}

TEST(CaptureSaved, AnEmptyViewIdIsNotFound) {
    ViewsHarness h;
    for (const std::string& payload : {std::string("{}"), std::string(R"({"viewId":7})")}) {
        h.Post(Request("c", "capture", payload));
        h.Idle();
        h.host().RunEventLoopCalls();
    }
    const auto replies = h.page().RepliesTo("c");
    ASSERT_EQ(replies.size(), 2u);
    for (const auto* reply : replies) EXPECT_EQ(reply->ErrorCode(), "view_not_found");
    EXPECT_FALSE(h.LogContains("capture refused"));
}

// ---- Empty views and failures -----------------------------------------------------------------

TEST(CaptureEmpty, NothingToRenderOrABlankWindowIsASuccessSayingEmpty) {
    for (const char* sample : {"stairs-only", "uniform", "empty"}) {
        ViewsHarness h;
        h.host().LoadModel(sample);
        const Projection3D start = h.host().projection;
        const ScriptedPage::Message* reply = h.Capture("c", "current");
        ASSERT_NE(reply, nullptr) << sample;
        EXPECT_EQ(reply->json, R"({"id":"c","ok":true,"result":{"empty":true}})") << sample;
        EXPECT_TRUE(h.Logged("capture refused empty_view")) << sample;
        EXPECT_EQ(h.host().front.kind, SimWindowKind::kFloorPlan) << sample << ": restored";
        EXPECT_TRUE(SameCamera(h.host().projection, start));
    }
}

TEST(CaptureEmpty, AListedStairCameraOfAStairsOnlyModelIsEmpty) {
    ViewsHarness h;
    h.host().LoadModel("stairs-only");
    const std::string id = h.IdOf(h.ListViews(), "Escada");
    ASSERT_FALSE(id.empty());
    EXPECT_EQ(h.Capture("c", id)->json, R"({"id":"c","ok":true,"result":{"empty":true}})");
}

TEST(CaptureFailure, ThePictureFailingIsCaptureFailedAndTheViewStillRestored) {
    ViewsHarness h;
    h.host().FailOperation("GetCurrent3DImage", kHostErrOutOfMemory);
    h.host().FailOperation("SaveFrontWindowPicture", kHostErrOutOfMemory);
    const ScriptedPage::Message* reply = h.Capture("c", "current");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->ErrorCode(), "capture_failed");
    EXPECT_TRUE(h.Logged("capture refused capture_failed"));
    EXPECT_TRUE(h.Logged("capture restore: camera same, window same"));
    EXPECT_EQ(h.host().front.kind, SimWindowKind::kFloorPlan);
}

TEST(CaptureFailure, APictureThatCannotBeReadIsNotAnEmptyModel) {
    ViewsHarness h;
    FaultyFiles files;
    files.FailAt(FileCall::Read, 1, true);
    const ScriptedPage::Message* reply = h.Capture("c", "current");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->ErrorCode(), "capture_failed");
}

TEST(CaptureFailure, StoringFailingIsCaptureFailedWithoutALogLine) {
    ViewsHarness h;
    h.host().UserBringToFront(SimWindowKind::k3D);
    h.TurnFor(h.host().frame3D.drawDelay);
    EXPECT_EQ(h.StartCapture("c", "current"), nullptr);
    FaultyFiles files;
    // The temporary picture is written first; the store's write is the second.
    files.FailAt(FileCall::Write, 2);
    h.Idle();
    const ScriptedPage::Message* reply = h.OnlyReplyTo("c");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->ErrorCode(), "capture_failed");
    EXPECT_FALSE(h.LogContains("capture ok"));
    EXPECT_FALSE(h.LogContains("capture refused"));
}

TEST(CaptureFailure, The3DWindowNotInFrontAtTheDeadlineIsOpen3d) {
    ViewsHarness h;
    EXPECT_EQ(h.StartCapture("c", "current"), nullptr);
    h.host().UserBringToFront(SimWindowKind::kFloorPlan);
    h.Wait(2500ms);
    const ScriptedPage::Message* reply = h.OnlyReplyTo("c");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->ErrorCode(), "open_3d");
    EXPECT_TRUE(h.Logged("capture refused open_3d"));
}

// The user opened the 3D window on a camera and asked for a saved view; during the wait they
// brought the plan forward. The saved camera goes back into the 3D window all the same, then
// the 3D window comes back to the front.
TEST(CaptureFailure, TheProjectionIsRestoredEvenWhenAnotherWindowCameToTheFront) {
    ViewsHarness h;
    const std::string id = h.IdOf(h.ListViews(), "Entrada P1 \xC2\xB7 Percurso");
    h.host().UserBringToFront(SimWindowKind::k3D);
    const Projection3D start = h.host().projection;
    EXPECT_EQ(h.StartCapture("c", id), nullptr);
    EXPECT_FALSE(SameCamera(h.host().projection, start));
    h.host().UserBringToFront(SimWindowKind::kFloorPlan);
    h.Wait(2500ms);
    EXPECT_EQ(h.OnlyReplyTo("c")->ErrorCode(), "open_3d");
    EXPECT_TRUE(SameCamera(h.host().projection, start)) << "the 3D window's camera is the user's again";
    EXPECT_EQ(h.host().front.kind, SimWindowKind::k3D);
    EXPECT_TRUE(h.Logged("capture restore: camera same, window same"));
}

TEST(CaptureFailure, TheLayerCombinationIsPutBackWhenItChanged) {
    ViewsHarness h;
    h.host().layerCombination = 2;
    EXPECT_EQ(h.StartCapture("c", "current"), nullptr);
    h.host().layerCombination = 3;
    h.Wait(2500ms);
    EXPECT_EQ(h.host().layerCombination, 2);
}

TEST(CaptureFailure, ARestoreTheHostRefusesIsLoggedAsDifferentAndThePictureStillAnswered) {
    ViewsHarness h;
    const std::string id = h.IdOf(h.ListViews(), "Entrada P1 \xC2\xB7 Percurso");
    ASSERT_FALSE(id.empty());
    EXPECT_EQ(h.StartCapture("c", id), nullptr);
    h.host().FailOperation("SetProjection3D", kHostErrRefused, true);
    h.host().FailOperation("ChangeFrontWindow", kHostErrRefused, true);
    h.Wait(2500ms);
    EXPECT_TRUE(Result(h.OnlyReplyTo("c")).HasMember("fileRef"));
    EXPECT_TRUE(h.Logged("capture restore: camera DIFFERENT, window DIFFERENT"));
}

// ---- One at a time ----------------------------------------------------------------------------

TEST(CaptureQueue, TwoCapturesRunStrictlyOneAfterTheOtherEachAnsweredOnce) {
    ViewsHarness h;
    const std::string id = h.IdOf(h.ListViews(), "Kitchen 1");
    h.Post(Request("c1", "capture", R"({"viewId":"current"})"));
    h.Post(Request("c2", "capture", "{\"viewId\":\"" + id + "\"}"));
    h.Idle();
    h.host().RunEventLoopCalls();
    EXPECT_EQ(StateOf(h), Settling);
    for (int i = 0; i < 5; ++i) {
        h.Idle();
        h.host().RunEventLoopCalls();
    }
    EXPECT_EQ(h.host().eventLoopCallsRequested, 1) << "the second waits for the first's reply";
    h.Wait(2500ms);
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"list", "c1"}));
    h.Idle();
    h.host().RunEventLoopCalls();
    EXPECT_EQ(StateOf(h), Settling);
    h.Wait(2500ms);
    EXPECT_EQ(h.ReplyIds(), (std::vector<std::string>{"list", "c1", "c2"}));
    for (int i = 0; i < 5; ++i) h.Wait(2500ms);
    EXPECT_EQ(h.ReplyIds().size(), 3u);
    const std::vector<std::string> lines = h.LogLines("capture opening current");
    std::vector<std::string> steps;
    for (const std::string& l : lines)
        if (l.rfind("capture ", 0) == 0) steps.push_back(l.substr(0, l.find(' ', 8)));
    EXPECT_EQ(steps, (std::vector<std::string>{"capture opening", "capture opened", "capture restore:", "capture ok",
                                               "capture opening", "capture opened", "capture restore:",
                                               "capture ok"}));
}

TEST(CaptureQueue, WithEventLoopCallsRefusedTheViewIsOpenedInThePump) {
    ViewsHarness h;
    h.host().refuseEventLoopCalls = kHostErrRefused;
    h.Post(Request("c", "capture", R"({"viewId":"current"})"));
    h.Idle();
    EXPECT_EQ(StateOf(h), Settling);
    EXPECT_NE(StateOf(h), Waiting);
    EXPECT_EQ(h.host().front.kind, SimWindowKind::k3D);
    h.Wait(2500ms);
    EXPECT_TRUE(h.OnlyReplyTo("c")->Ok());
}

// ---- Project changes --------------------------------------------------------------------------

TEST(CaptureProjectChange, AWaitingCaptureAndTheQueuedOnesAreAnsweredAndNothingIsRestored) {
    ViewsHarness h;
    EXPECT_EQ(h.StartCapture("c1", "current"), nullptr);
    h.Post(Request("c2", "capture", R"({"viewId":"current"})"));
    h.Post(Request("list", "listViews"));
    // The user opens another project.
    h.host().LoadModel("uniform");
    h.host().UserBringToFront(SimWindowKind::kWorksheet);
    h.host().layerCombination = 3;
    const Projection3D newStart = h.host().projection;
    const int redraws = h.host().redraws;
    h.host().project = {false, false, "/projects/uniform.pln", "uniform"};
    h.host().SendProjectEvent(4);
    h.host().Advance(100ms);
    const auto& timeline = h.page().Timeline();
    ASSERT_GE(timeline.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(timeline.end() - 4, timeline.end()),
              (std::vector<std::string>{"message c1", "message c2", "message list", "load"}));
    for (const char* id : {"c1", "c2", "list"}) EXPECT_EQ(h.OnlyReplyTo(id)->ErrorCode(), "view_not_found") << id;
    EXPECT_NE(StateOf(h), Settling);

    h.host().FinishPageLoad();
    for (int i = 0; i < 3; ++i) h.Wait(2500ms);
    EXPECT_EQ(h.page().Messages().size(), 3u) << "nothing more";
    EXPECT_EQ(h.host().front.kind, SimWindowKind::kWorksheet) << "the old project's window is not put back";
    EXPECT_EQ(h.host().layerCombination, 3);
    EXPECT_TRUE(SameCamera(h.host().projection, newStart));
    EXPECT_EQ(h.host().redraws, redraws);
}

TEST(CaptureProjectChange, ACaptureWaitingForTheEventLoopIsAnsweredAndItsCallDoesNothing) {
    ViewsHarness h;
    h.Post(Request("c1", "capture", R"({"viewId":"current"})"));
    h.Idle();
    EXPECT_EQ(StateOf(h), Waiting);
    h.host().SendProjectEvent(4);
    h.host().Advance(100ms);
    EXPECT_EQ(h.OnlyReplyTo("c1")->ErrorCode(), "view_not_found");
    EXPECT_NE(StateOf(h), Waiting);
    h.host().FinishPageLoad();
    // The reloaded page may use the same id again; only its own capture is served.
    h.Post(Request("c1", "capture", R"({"viewId":"current"})"));
    h.Idle();
    h.host().RunEventLoopCalls();  // the stale call and the new one
    EXPECT_EQ(h.host().front.kind, SimWindowKind::k3D);
    h.Wait(2500ms);
    const auto replies = h.page().RepliesTo("c1");
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_TRUE(replies[1]->Ok());
    std::vector<std::string> opening;
    for (const std::string& l : h.LogLines())
        if (l == "capture opening current") opening.push_back(l);
    EXPECT_EQ(opening.size(), 1u);
}

// ---- The self-test's orbit --------------------------------------------------------------------

TEST(CaptureRelease, AnAddOnReleasedWhileACaptureWaitsPutsTheUsersViewBack) {
    ViewsHarness h;
    const std::string id = h.IdOf(h.ListViews(), "Sala de estar C1 \xC2\xB7 Interiores");
    ASSERT_FALSE(id.empty());
    h.host().layerCombination = 2;
    const Projection3D start = h.host().projection;
    EXPECT_EQ(h.StartCapture("c", id), nullptr);
    ASSERT_EQ(StateOf(h), Settling);
    ASSERT_FALSE(SameCamera(h.host().projection, start));
    h.host().Advance(1000ms);
    EXPECT_EQ(h.host().Release(), kHostOk);
    EXPECT_TRUE(SameCamera(h.host().projection, start));
    EXPECT_EQ(h.host().front.kind, SimWindowKind::kFloorPlan);
    EXPECT_EQ(h.host().layerCombination, 2);
}

TEST(CaptureOrbit, InSelfTestModeTheTargetTurnsAQuarterCounterClockwise) {
    ViewsHarness h;
    ScopedEnvironment selfTest("TAMSEL_OVRA_SELFTEST", "1");
    // Camera (-11, -13), target (5, 4): the new target is (-11 - 17, -13 + 16).
    EXPECT_EQ(OvraViews::OpenView("selftest-orbit"), kHostOk);
    EXPECT_EQ(h.host().front.kind, SimWindowKind::k3D);
    EXPECT_DOUBLE_EQ(h.host().projection.camera.targetX, -28);
    EXPECT_DOUBLE_EQ(h.host().projection.camera.targetY, 3);
    EXPECT_DOUBLE_EQ(h.host().projection.camera.targetZ, 2);
    h.host().projection.perspective = false;
    EXPECT_EQ(OvraViews::OpenView("selftest-orbit"), OvraViews::kNotFound);
}

TEST(CaptureOrbit, OutsideSelfTestModeItIsAnUnknownView) {
    ViewsHarness h;
    ScopedEnvironment selfTest("TAMSEL_OVRA_SELFTEST", std::nullopt);
    EXPECT_EQ(OvraViews::OpenView("selftest-orbit"), OvraViews::kNotFound);
}
}  // namespace

namespace {
// A settling capture has no event-loop call waiting, so the host's next call-back is an idle
// notification or the timer (above): at the idle one too, the capture is answered before the
// reload and nothing of the old project's view is put back into the new one.
TEST(CaptureProjectChange, ASettlingCaptureIsAnsweredWhenAnIdleNotificationComesFirst) {
    ViewsHarness h;
    EXPECT_EQ(h.StartCapture("c1", "current"), nullptr);
    ASSERT_EQ(StateOf(h), Settling);
    h.host().LoadModel("uniform");
    h.host().UserBringToFront(SimWindowKind::kWorksheet);
    const Projection3D newStart = h.host().projection;
    h.host().SendProjectEvent(4);
    h.host().Idle();
    ASSERT_NE(h.OnlyReplyTo("c1"), nullptr);
    EXPECT_EQ(h.OnlyReplyTo("c1")->ErrorCode(), "view_not_found");
    EXPECT_EQ(StateOf(h), CaptureState::Idle);
    h.host().FinishPageLoad();
    for (int i = 0; i < 3; ++i) h.Wait(2500ms);
    EXPECT_EQ(h.host().front.kind, SimWindowKind::kWorksheet);
    EXPECT_TRUE(SameCamera(h.host().projection, newStart));
}
}  // namespace
