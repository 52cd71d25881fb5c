// The host contract of the view state the add-on saves and puts back around a capture: the front
// window, the 3D projection and the layer combination, each read back whole as it was set.
#include "host/ContractCase.h"

namespace {

using HostContractFrontWindow = HostContract;
using HostContractProjection = HostContract;
using HostContractLayers = HostContract;

TEST_F(HostContractFrontWindow, The3DWindowComesToTheFrontByItsKindAndTheUsersWindowComesBack) {
    const FrontWindowKept kept(host);
    ASSERT_EQ(host.ChangeFrontWindow(world.PlanWindow()), kHostOk);
    WindowInfo front;
    ASSERT_EQ(host.GetFrontWindow(&front), kHostOk);
    ExpectWindowIs(world.PlanWindow(), front);
    const WindowInfo users = front;

    WindowInfo window3D;
    window3D.kind = kWindow3D;  // no database named: the one 3D window
    ASSERT_EQ(host.ChangeFrontWindow(window3D), kHostOk);
    ASSERT_EQ(host.GetFrontWindow(&front), kHostOk);
    ExpectWindowIs(world.Window3D(), front);

    const WindowInfo read3D = front;

    ASSERT_EQ(host.ChangeFrontWindow(users), kHostOk);
    ASSERT_EQ(host.GetFrontWindow(&front), kHostOk);
    ExpectSameWindow(users, front);

    // The 3D window's record as the host handed it out brings it back too.
    ASSERT_EQ(host.ChangeFrontWindow(read3D), kHostOk);
    ASSERT_EQ(host.GetFrontWindow(&front), kHostOk);
    ExpectSameWindow(read3D, front);
}

TEST_F(HostContractFrontWindow, AWindowOfAKindTheHostLacksIsRefusedAndTheFrontStays) {
    const FrontWindowKept kept(host);
    ASSERT_EQ(host.ChangeFrontWindow(world.PlanWindow()), kHostOk);
    WindowInfo unknown;
    unknown.kind = 99;
    EXPECT_EQ(host.ChangeFrontWindow(unknown), kHostErrBadParameters);
    WindowInfo front;
    ASSERT_EQ(host.GetFrontWindow(&front), kHostOk);
    ExpectWindowIs(world.PlanWindow(), front);
}

// Another camera: the current one moved and turned, its angle and roll changed.
Projection3D Moved(const Projection3D& from) {
    Projection3D moved = from;
    moved.perspective = true;
    PerspectiveCamera& c = moved.camera;
    c.cameraX += 1.25, c.cameraY -= 2.5, c.cameraZ += 0.5;
    c.targetX = c.cameraX + 3, c.targetY = c.cameraY + 4, c.targetZ = c.cameraZ - 0.25;
    c.viewAngle = c.viewAngle > 50 ? 45 : 55;
    c.roll = 0.125;
    c.distance = 5.0062460986251;
    return moved;
}

TEST_F(HostContractProjection, ASetProjectionReadsBackWholeAndTheSavedOneGoesBack) {
    const FrontWindowKept kept(host);
    ASSERT_EQ(host.ChangeFrontWindow(world.Window3D()), kHostOk);
    Projection3D saved;
    ASSERT_EQ(host.GetProjection3D(&saved), kHostOk);
    const Projection3D moved = Moved(saved);
    ASSERT_EQ(host.SetProjection3D(moved, 0), kHostOk);
    EXPECT_EQ(host.Redraw3D(), kHostOk);
    Projection3D read;
    ASSERT_EQ(host.GetProjection3D(&read), kHostOk);
    ExpectSameProjection(moved, read);

    ASSERT_EQ(host.SetProjection3D(saved, 0), kHostOk);
    EXPECT_EQ(host.Redraw3D(), kHostOk);
    ASSERT_EQ(host.GetProjection3D(&read), kHostOk);
    ExpectSameProjection(saved, read);
}

TEST_F(HostContractProjection, TheProjectionIsReadWhicheverWindowIsInFront) {
    const FrontWindowKept kept(host);
    ASSERT_EQ(host.ChangeFrontWindow(world.Window3D()), kHostOk);
    Projection3D in3D;
    ASSERT_EQ(host.GetProjection3D(&in3D), kHostOk);
    ASSERT_EQ(host.ChangeFrontWindow(world.PlanWindow()), kHostOk);
    Projection3D inPlan;
    ASSERT_EQ(host.GetProjection3D(&inPlan), kHostOk);
    ExpectSameProjection(in3D, inPlan);
}

TEST_F(HostContractProjection, AProjectionWithAnotherOptionIsRefusedAndChangesNothing) {
    Projection3D saved;
    ASSERT_EQ(host.GetProjection3D(&saved), kHostOk);
    EXPECT_EQ(host.SetProjection3D(Moved(saved), 1), kHostErrBadParameters);
    Projection3D read;
    ASSERT_EQ(host.GetProjection3D(&read), kHostOk);
    ExpectSameProjection(saved, read);
}

TEST_F(HostContractLayers, AnotherCombinationReadsBackAndTheSavedOneGoesBack) {
    int32_t saved = 0;
    ASSERT_EQ(host.GetLayerCombination(&saved), kHostOk);
    ASSERT_GE(saved, 1);
    ASSERT_LE(saved, world.LayerCombinations());
    const int32_t other = saved == 1 ? 2 : 1;
    ASSERT_EQ(host.SetLayerCombination(other), kHostOk);
    int32_t read = 0;
    ASSERT_EQ(host.GetLayerCombination(&read), kHostOk);
    EXPECT_EQ(read, other);
    ASSERT_EQ(host.SetLayerCombination(saved), kHostOk);
    ASSERT_EQ(host.GetLayerCombination(&read), kHostOk);
    EXPECT_EQ(read, saved);
}

TEST_F(HostContractLayers, AnIndexOutsideTheProjectsCombinationsIsRefusedAndChangesNothing) {
    int32_t saved = 0;
    ASSERT_EQ(host.GetLayerCombination(&saved), kHostOk);
    for (const int32_t index : {0, -1, world.LayerCombinations() + 1}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(host.SetLayerCombination(index), kHostErrBadParameters);
        int32_t read = 0;
        ASSERT_EQ(host.GetLayerCombination(&read), kHostOk);
        EXPECT_EQ(read, saved);
    }
}

}  // namespace
