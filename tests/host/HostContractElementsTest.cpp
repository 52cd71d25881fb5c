// The host contract of the model as the add-on reads it: elements listed by type with filter
// flags 10, their headers and 3D boxes, the model's extent, camera elements and stories.
#include <set>

#include "host/ContractCase.h"

namespace {

using HostContractElements = HostContract;
using HostContractCameras = HostContract;
using HostContractStories = HostContract;

constexpr uint32_t kFilterFlags = 10;
constexpr int32_t kCameraType = 26;

TEST_F(HostContractElements, EachTypeListsExactlyTheProjectsElementsOfIt) {
    for (const int32_t type : world.ElementTypes()) {
        SCOPED_TRACE(type);
        std::vector<HostGuid> listed;
        ASSERT_EQ(host.ListElements(type, kFilterFlags, &listed), kHostOk);
        std::set<std::string> expected, got;
        for (const ContractElement& e : world.ElementsOfType(type)) expected.insert(e.guid.ToText());
        for (const HostGuid& g : listed) {
            EXPECT_FALSE(g.IsNull());
            got.insert(g.ToText());
        }
        EXPECT_EQ(got.size(), listed.size()) << "an element listed twice";
        EXPECT_EQ(got, expected);
    }
}

TEST_F(HostContractElements, AListReplacesWhatTheVectorHeld) {
    std::vector<HostGuid> listed(3, kMissingGuid);
    ASSERT_EQ(host.ListElements(world.ElementTypes().front(), kFilterFlags, &listed), kHostOk);
    EXPECT_EQ(listed.size(), world.ElementsOfType(world.ElementTypes().front()).size());
    for (const HostGuid& g : listed) EXPECT_NE(g, kMissingGuid);
}

TEST_F(HostContractElements, AnUnknownTypeCodeIsRefused) {
    std::vector<HostGuid> listed;
    EXPECT_EQ(host.ListElements(0, kFilterFlags, &listed), kHostErrBadParameters);
}

TEST_F(HostContractElements, EachElementsHeaderNamesItsTypeAndStory) {
    std::set<int32_t> stories;
    for (const StoryInfo& s : world.Stories()) stories.insert(s.index);
    for (const int32_t type : world.ElementTypes())
        for (const ContractElement& e : world.ElementsOfType(type)) {
            SCOPED_TRACE(e.guid.ToText());
            ElementHeader header;
            ASSERT_EQ(host.GetElementHeader(e.guid, &header), kHostOk);
            EXPECT_EQ(header.guid, e.guid);
            EXPECT_EQ(header.typeCode, type);
            EXPECT_EQ(header.storyIndex, e.storyIndex);
            EXPECT_TRUE(stories.count(header.storyIndex)) << "a story the project lacks";
        }
}

TEST_F(HostContractElements, AnElementThatIsNotThereIsNotFound) {
    ElementHeader header;
    EXPECT_EQ(host.GetElementHeader(kMissingGuid, &header), kHostErrNotFound);
    Box3D box;
    EXPECT_EQ(host.GetElementBox3D(kMissingGuid, &box), kHostErrNotFound);
}

TEST_F(HostContractElements, EachBodysBoxIsItsOwnAndLiesInTheModelsExtent) {
    Box3D extent;
    ASSERT_EQ(host.GetModelExtent3D(&extent), kHostOk);
    EXPECT_LT(extent.xMin, extent.xMax);
    EXPECT_LT(extent.yMin, extent.yMax);
    EXPECT_LT(extent.zMin, extent.zMax);
    for (const int32_t type : world.ElementTypes()) {
        if (type == kCameraType) continue;  // cameras have no body
        for (const ContractElement& e : world.ElementsOfType(type)) {
            SCOPED_TRACE(e.guid.ToText());
            Box3D box;
            ASSERT_EQ(host.GetElementBox3D(e.guid, &box), kHostOk);
            ExpectSameBox(e.box, box);
            EXPECT_LE(box.xMin, box.xMax);
            EXPECT_LE(box.yMin, box.yMax);
            EXPECT_LE(box.zMin, box.zMax);
            // Zones may reach past the drawn model; every other body lies inside its extent.
            if (type == 17) continue;
            EXPECT_GE(box.xMin, extent.xMin - kModelTolerance);
            EXPECT_GE(box.yMin, extent.yMin - kModelTolerance);
            EXPECT_GE(box.zMin, extent.zMin - kModelTolerance);
            EXPECT_LE(box.xMax, extent.xMax + kModelTolerance);
            EXPECT_LE(box.yMax, extent.yMax + kModelTolerance);
            EXPECT_LE(box.zMax, extent.zMax + kModelTolerance);
        }
    }
}

TEST_F(HostContractCameras, ACameraElementReadsItsRecordAndStory) {
    const ContractCamera expected = world.Camera();
    ASSERT_FALSE(expected.guid.IsNull());
    PerspectiveCamera camera;
    int32_t story = -1;
    ASSERT_EQ(host.GetCameraElement(expected.guid, &camera, &story), kHostOk);
    ExpectSameCamera(expected.camera, camera);
    EXPECT_EQ(story, expected.storyIndex);
    ElementHeader header;
    ASSERT_EQ(host.GetElementHeader(expected.guid, &header), kHostOk);
    EXPECT_EQ(header.typeCode, kCameraType);
}

TEST_F(HostContractCameras, ACameraThatIsNotThereIsNotFound) {
    PerspectiveCamera camera;
    int32_t story = -1;
    EXPECT_EQ(host.GetCameraElement(kMissingGuid, &camera, &story), kHostErrNotFound);
}

TEST_F(HostContractCameras, EveryListedCameraReadsAsACamera) {
    std::vector<HostGuid> cameras;
    ASSERT_EQ(host.ListElements(kCameraType, kFilterFlags, &cameras), kHostOk);
    ASSERT_FALSE(cameras.empty());
    for (const HostGuid& guid : cameras) {
        SCOPED_TRACE(guid.ToText());
        PerspectiveCamera camera;
        int32_t story = -1;
        ASSERT_EQ(host.GetCameraElement(guid, &camera, &story), kHostOk);
        const bool looksSomewhere =
            camera.cameraX != camera.targetX || camera.cameraY != camera.targetY || camera.cameraZ != camera.targetZ;
        EXPECT_TRUE(looksSomewhere);
    }
}

TEST_F(HostContractStories, TheStoriesAreTheProjectsWithTheirLevels) {
    std::vector<StoryInfo> stories(2, StoryInfo{99, 99});
    ASSERT_EQ(host.GetStories(&stories), kHostOk);
    const std::vector<StoryInfo> expected = world.Stories();
    ASSERT_EQ(stories.size(), expected.size());
    for (size_t i = 0; i < stories.size(); ++i) {
        EXPECT_EQ(stories[i].index, expected[i].index);
        EXPECT_NEAR(stories[i].level, expected[i].level, kModelTolerance);
    }
}

}  // namespace
