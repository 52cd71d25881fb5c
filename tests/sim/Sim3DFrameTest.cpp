// The simulated 3D window draws like a host: a change of what it shows starts a frame that is
// drawn a set time later while the host loop turns; until then its image is the frame before. Its
// image is had only with the window in front, and a layer combination that hides elements shows
// in the frame drawn under it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/host/SimPicture.h"
#include "sim/host/SimRasteriser.h"
#include "support/Harness.h"

namespace {
using std::chrono::milliseconds;

constexpr int kWidth = 160, kHeight = 100;

// The host's image of the 3D window, decoded.
SimPicture Shown(SimHost& host) {
    int32_t option = 0;
    std::unique_ptr<NativeImage> image;
    std::vector<uint8_t> png;
    SimPicture picture;
    EXPECT_EQ(host.GetCurrent3DImage(&option, &image), kHostOk);
    if (image) {
        EXPECT_EQ(image->Encode(1, &png), kHostOk);
    }
    EXPECT_TRUE(DecodePicture(png, &picture));
    return picture;
}

// The model drawn from a projection under a layer combination, at the window's size.
SimPicture Drawn(const SimHost& host, const Projection3D& projection, int32_t layerCombination = 1) {
    SimPicture picture;
    EXPECT_TRUE(Render3D(host.model, projection, kWidth, kHeight, &picture, layerCombination));
    return picture;
}

bool Blank(const SimPicture& picture) {
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (picture.Pixel(x, y) != SimHost::kUndrawn3D) return false;
    return picture.width == kWidth && picture.height == kHeight;
}

Projection3D FromTheEast(const SimHost& host) {
    Projection3D p = host.model.startProjection;
    p.camera.cameraX = 30;
    p.camera.cameraY = 4;
    return p;
}

class Sim3DFrames : public ::testing::Test {
protected:
    void SetUp() override {
        host().Set3DWindowSize(kWidth, kHeight);
        ASSERT_TRUE(host().UserBringToFront(SimWindowKind::k3D));
        h.TurnFor(milliseconds(1000));
        ASSERT_TRUE(host().frame3D.Drawn());
    }
    SimHost& host() { return h.host(); }
    Harness h{false};
};

TEST_F(Sim3DFrames, TheWindowShowsNothingUntilItsFirstFrameIsDrawn) {
    ASSERT_TRUE(host().LoadModel("house"));
    ASSERT_TRUE(host().UserBringToFront(SimWindowKind::k3D));
    EXPECT_TRUE(Blank(Shown(host()))) << "opened, not drawn yet";
    h.TurnFor(milliseconds(900));
    EXPECT_TRUE(Blank(Shown(host()))) << "0.9 s later";
    h.TurnFor(milliseconds(100));
    EXPECT_EQ(Shown(host()).rgb, Drawn(host(), host().model.startProjection).rgb) << "1 s later";
}

TEST_F(Sim3DFrames, AChangeShowsThePreviousFrameUntilTheDelayHasPassed) {
    const SimPicture before = Drawn(host(), host().model.startProjection);
    const SimPicture after = Drawn(host(), FromTheEast(host()));
    ASSERT_NE(before.rgb, after.rgb);
    ASSERT_EQ(host().SetProjection3D(FromTheEast(host()), 0), kHostOk);
    EXPECT_EQ(Shown(host()).rgb, before.rgb) << "at the change";
    h.TurnFor(milliseconds(900));
    EXPECT_EQ(Shown(host()).rgb, before.rgb) << "0.9 s later";
    h.TurnFor(milliseconds(100));
    EXPECT_EQ(Shown(host()).rgb, after.rgb) << "1 s later";

    // A change before the frame is drawn puts it off; the frame shows the state when it is drawn.
    ASSERT_EQ(host().SetProjection3D(host().model.startProjection, 0), kHostOk);
    h.TurnFor(milliseconds(600));
    ASSERT_EQ(host().SetLayerCombination(1), kHostOk);
    h.TurnFor(milliseconds(600));
    EXPECT_EQ(Shown(host()).rgb, after.rgb) << "0.6 s after the second change";
    h.TurnFor(milliseconds(400));
    EXPECT_EQ(Shown(host()).rgb, before.rgb) << "1 s after the second change";

    // The delay is the host's setting; a picture save shows the same frame.
    host().frame3D.drawDelay = milliseconds(3000);
    ASSERT_EQ(host().SetProjection3D(FromTheEast(host()), 0), kHostOk);
    h.TurnFor(milliseconds(2900));
    EXPECT_EQ(Shown(host()).rgb, before.rgb) << "2.9 s of 3";
    const std::filesystem::path file = h.folders().root() / "saved.png";
    ASSERT_EQ(host().SaveFrontWindowPicture(16, file.u16string(), PictureSettings{6}), kHostOk);
    const std::string bytes = ReadFileText(file);
    SimPicture saved;
    ASSERT_TRUE(DecodePicture(std::vector<uint8_t>(bytes.begin(), bytes.end()), &saved));
    EXPECT_EQ(saved.rgb, before.rgb);
    h.TurnFor(milliseconds(100));
    EXPECT_EQ(Shown(host()).rgb, after.rgb) << "3 s of 3";
}

TEST_F(Sim3DFrames, EachKindOfChangeStartsAFrame) {
    const std::vector<std::pair<const char*, std::function<HostError(SimHost&)>>> changes = {
        {"SetProjection3D", [](SimHost& s) { return s.SetProjection3D(FromTheEast(s), 0); }},
        {"SetLayerCombination", [](SimHost& s) { return s.SetLayerCombination(2); }},
        {"Redraw3D", [](SimHost& s) { return s.Redraw3D(); }},
        {"ChangeFrontWindow to the 3D window",
         [](SimHost& s) {
             s.UserBringToFront(SimWindowKind::kFloorPlan);
             return s.ChangeFrontWindow({SimWindowKind::k3D, {}});
         }},
        {"the user bringing the 3D window forward",
         [](SimHost& s) {
             s.UserBringToFront(SimWindowKind::kFloorPlan);
             return s.UserBringToFront(SimWindowKind::k3D) ? kHostOk : kSimErrGeneral;
         }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        const int drawn = host().frame3D.Count();
        ASSERT_EQ(change(host()), kHostOk);
        EXPECT_TRUE(host().frame3D.Waiting());
        h.TurnFor(milliseconds(900));
        EXPECT_EQ(host().frame3D.Count(), drawn);
        h.TurnFor(milliseconds(100));
        EXPECT_EQ(host().frame3D.Count(), drawn + 1);
        EXPECT_FALSE(host().frame3D.Waiting());
    }
    // What starts none: reading the view, a failed change, the 3D window brought forward again.
    Projection3D p;
    int32_t layers = 0;
    ASSERT_EQ(host().GetProjection3D(&p), kHostOk);
    ASSERT_EQ(host().GetLayerCombination(&layers), kHostOk);
    EXPECT_EQ(host().SetLayerCombination(9), kSimErrBadParameters);
    EXPECT_EQ(host().ChangeFrontWindow({SimWindowKind::k3D, {}}), kHostOk);
    host().FailOperation("SetProjection3D", kHostErrRefused, true);
    EXPECT_EQ(host().SetProjection3D(FromTheEast(host()), 0), kHostErrRefused);
    EXPECT_FALSE(host().frame3D.Waiting());
}

TEST_F(Sim3DFrames, TheImageAndThePictureSaveFailWhenThe3DWindowIsNotInFront) {
    const std::filesystem::path file = h.folders().root() / "picture.png";
    for (const int32_t kind : {SimWindowKind::kFloorPlan, SimWindowKind::kWorksheet}) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(host().UserBringToFront(kind));
        int32_t option = 0;
        std::unique_ptr<NativeImage> image;
        EXPECT_EQ(host().GetCurrent3DImage(&option, &image), kHostErrWrongWindow);
        EXPECT_EQ(image, nullptr);
        EXPECT_EQ(host().SaveFrontWindowPicture(16, file.u16string(), PictureSettings{6}), kHostErrWrongWindow);
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}

TEST_F(Sim3DFrames, ALayerCombinationThatHidesElementsChangesTheFrame) {
    const Projection3D p = host().model.startProjection;
    // Each combination after the first hides element types the house has.
    for (int32_t index = 2; index <= 3; ++index) {
        const SimLayerCombination* combination = host().model.FindLayerCombination(index);
        ASSERT_NE(combination, nullptr);
        int hidden = 0;
        for (const SimElement& e : host().model.elements) hidden += combination->Hides(e.typeCode) ? 1 : 0;
        EXPECT_GT(hidden, 0) << combination->name;
    }
    const SimPicture all = Shown(host());
    ASSERT_EQ(host().SetLayerCombination(3), kHostOk);
    EXPECT_EQ(Shown(host()).rgb, all.rgb) << "not drawn yet";
    h.TurnFor(milliseconds(1000));
    const SimPicture structure = Shown(host());
    EXPECT_NE(structure.rgb, all.rgb);
    EXPECT_EQ(structure.rgb, Drawn(host(), p, 3).rgb);
    // The frame honours the combination in force when it is drawn, not when it was started.
    ASSERT_EQ(host().SetProjection3D(FromTheEast(host()), 0), kHostOk);
    host().layerCombination = 1;
    h.TurnFor(milliseconds(1000));
    EXPECT_EQ(Shown(host()).rgb, Drawn(host(), FromTheEast(host()), 1).rgb);
}
}  // namespace
