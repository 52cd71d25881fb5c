// Why a capture waits before it takes the picture: the 3D window draws a saved view some time
// after the capture opens it. Drawing in 1 s, the capture shows the view it asked for; drawing in
// 3 s, longer than the capture waits, it still succeeds but shows the view the user had before.
#include <gtest/gtest.h>

#include "store/FileStore.h"
#include "views/ViewsHarness.h"

namespace {
using std::chrono::milliseconds;

// At or above the capture's long side, so that the stored picture keeps the window's size.
constexpr int kWidth = 1600, kHeight = 1000;

struct SettlingCase {
    milliseconds drawDelay;
    bool showsTheRequestedView;
};

class CaptureSettling : public ::testing::TestWithParam<SettlingCase> {};

TEST_P(CaptureSettling, ASavedCameraIsCapturedOnlyWhenTheWindowHasDrawnItByTheDeadline) {
    const SettlingCase c = GetParam();
    ViewsHarness h;
    SimHost& host = h.host();
    host.frame3D.drawDelay = c.drawDelay;
    host.Set3DWindowSize(kWidth, kHeight);
    // The user's view of the house, drawn.
    host.UserBringToFront(SimWindowKind::k3D);
    h.TurnFor(c.drawDelay);
    ASSERT_TRUE(host.frame3D.Drawn());
    const Projection3D userView = host.projection;

    const std::string id = h.IdOf(h.ListViews(), std::string("Entrada P1 \xC2\xB7 Percurso"));
    ASSERT_FALSE(id.empty());
    const ScriptedPage::Message* reply = h.Capture("c", id);
    ASSERT_NE(reply, nullptr);
    ASSERT_TRUE(reply->Ok()) << reply->json;
    const rapidjson::Value& result = (*reply->document)["result"];
    ASSERT_FALSE(result.HasMember("empty")) << reply->json;
    std::string jpeg;
    ASSERT_TRUE(LoadFileRef(Text(result, "fileRef"), &jpeg, kMaxCaptureBytes));
    const Bitmap picture = DecodePicture(jpeg);
    ASSERT_EQ(picture.width, kWidth);
    ASSERT_EQ(picture.height, kHeight);

    Projection3D entrance;
    entrance.perspective = true;
    entrance.camera = host.model.FindElement(SimGuid("Casa exemplo/element/camera/entrada"))->camera;
    const Bitmap requested = Scene(host.model, entrance, kWidth, kHeight);
    const Bitmap previous = Scene(host.model, userView, kWidth, kHeight);
    if (c.showsTheRequestedView) {
        EXPECT_GT(ShareNearerTheFirst(picture, requested, previous), 0.9);
    } else {
        EXPECT_GT(ShareNearerTheFirst(picture, previous, requested), 0.9);
    }
    EXPECT_TRUE(h.Logged("capture restore: camera same, window same"));
}

INSTANTIATE_TEST_SUITE_P(DrawDelays, CaptureSettling,
                         ::testing::Values(SettlingCase{milliseconds(1000), true},
                                           SettlingCase{milliseconds(3000), false}),
                         [](const ::testing::TestParamInfo<SettlingCase>& param) {
                             return "DrawingIn" + std::to_string(param.param.drawDelay.count()) + "ms";
                         });
}  // namespace
