// The host contract of the navigator as the add-on walks it: the roots of the project map (1)
// and the view map (2), each child's fields, folders within folders, and the camera GUIDs of
// the views that show one.
#include <algorithm>
#include <functional>
#include <set>

#include "host/ContractCase.h"

namespace {

using HostContractNavigator = HostContract;

constexpr int32_t kPerspective = 5, kAxonometry = 6, kCamera = 10, kCameraSet = 11;

NavigatorItem Root(HostApi& host, int32_t mapId) {
    NavigatorItem root;
    root.mapId = mapId;
    EXPECT_EQ(host.GetNavigatorRoot(mapId, &root.guid), kHostOk) << "map " << mapId;
    return root;
}

// Every item below the root, each before its children; fails the case at a refused level.
std::vector<NavigatorItem> Walk(HostApi& host, const NavigatorItem& root) {
    std::vector<NavigatorItem> all;
    std::function<void(const NavigatorItem&, int)> walk = [&](const NavigatorItem& parent, int depth) {
        ASSERT_LT(depth, 64) << "the map does not end";
        std::vector<NavigatorItem> children;
        ASSERT_EQ(host.GetNavigatorChildren(parent, &children), kHostOk) << "below " << parent.guid.ToText();
        for (const NavigatorItem& child : children) {
            all.push_back(child);
            walk(child, depth + 1);
        }
    };
    walk(root, 0);
    return all;
}

TEST_F(HostContractNavigator, TheTwoMapsHaveRootsOfTheirOwnAndNoThirdMapIs) {
    const NavigatorItem project = Root(host, 1), views = Root(host, 2);
    EXPECT_FALSE(project.guid.IsNull());
    EXPECT_FALSE(views.guid.IsNull());
    EXPECT_NE(project.guid, views.guid);
    HostGuid root;
    EXPECT_EQ(host.GetNavigatorRoot(3, &root), kHostErrBadParameters);
}

TEST_F(HostContractNavigator, EveryItemCarriesItsMapAGuidOfItsOwnAndViewsTheirCamera) {
    for (const int32_t mapId : {1, 2}) {
        SCOPED_TRACE(mapId);
        const std::vector<NavigatorItem> items = Walk(host, Root(host, mapId));
        ASSERT_FALSE(items.empty());
        std::set<std::string> guids;
        for (const NavigatorItem& item : items) {
            SCOPED_TRACE(item.guid.ToText());
            EXPECT_EQ(item.mapId, mapId);
            EXPECT_FALSE(item.guid.IsNull());
            EXPECT_TRUE(guids.insert(item.guid.ToText()).second) << "an item twice in one map";
            if (item.itemType == kCamera) {
                // A camera view names its camera element, which reads as one.
                PerspectiveCamera camera;
                int32_t story = -1;
                EXPECT_EQ(host.GetCameraElement(item.cameraGuid, &camera, &story), kHostOk);
            } else if (item.itemType == kPerspective || item.itemType == kAxonometry || item.itemType == kCameraSet) {
                EXPECT_TRUE(item.cameraGuid.IsNull()) << "type " << item.itemType << " shows no camera element";
            }
        }
    }
}

TEST_F(HostContractNavigator, TheMapsHoldEachTypeOfViewTheAddonLists) {
    std::set<int32_t> types;
    for (const int32_t mapId : {1, 2})
        for (const NavigatorItem& item : Walk(host, Root(host, mapId))) types.insert(item.itemType);
    for (const int32_t type : {kPerspective, kAxonometry, kCamera, kCameraSet})
        EXPECT_TRUE(types.count(type)) << "no item of type " << type;
}

TEST_F(HostContractNavigator, AViewInAFolderIsFoundByItsFoldersNamesWithItsFields) {
    const ContractView view = world.NestedView();
    ASSERT_FALSE(view.folders.empty());
    NavigatorItem parent = Root(host, view.mapId);
    for (const std::u16string& folder : view.folders) {
        std::vector<NavigatorItem> children;
        ASSERT_EQ(host.GetNavigatorChildren(parent, &children), kHostOk);
        const auto found = std::find_if(children.begin(), children.end(), [&](const NavigatorItem& c) {
            return c.name == folder;
        });
        ASSERT_NE(found, children.end()) << "no folder of that name";
        EXPECT_EQ(found->mapId, view.mapId);
        parent = *found;
    }
    std::vector<NavigatorItem> children;
    ASSERT_EQ(host.GetNavigatorChildren(parent, &children), kHostOk);
    const auto found = std::find_if(children.begin(), children.end(),
                                    [&](const NavigatorItem& c) { return c.idText == view.idText; });
    ASSERT_NE(found, children.end());
    EXPECT_EQ(found->itemType, view.itemType);
    EXPECT_EQ(found->name, view.name);
    EXPECT_EQ(found->reference, view.reference);
    EXPECT_EQ(found->cameraGuid, view.cameraGuid);
    EXPECT_EQ(found->mapId, view.mapId);

    std::vector<NavigatorItem> below(1);
    ASSERT_EQ(host.GetNavigatorChildren(*found, &below), kHostOk);
    EXPECT_TRUE(below.empty()) << "a view holds nothing, and the list is replaced";
}

TEST_F(HostContractNavigator, AnItemNoMapHoldsIsNotFound) {
    NavigatorItem missing;
    missing.guid = kMissingGuid;
    missing.mapId = 2;
    std::vector<NavigatorItem> children;
    EXPECT_EQ(host.GetNavigatorChildren(missing, &children), kHostErrNotFound);
}

}  // namespace
