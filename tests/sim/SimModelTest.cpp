// The simulated host's model as the add-on reads it: navigator trees of each sample project,
// elements, boxes and stories, the front window and the projection, the 3D window's image, the
// picture file and the window tree that window printing searches.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include "platform/Images.h"
#include "platform/Utf.h"
#include "support/Harness.h"

namespace {

struct Walked {
    NavigatorItem item;
    int depth = 0;
    int32_t parentType = 0;
};

// Every item of a map, depth first, as the host hands them out.
std::vector<Walked> Walk(SimHost& host, int32_t mapId) {
    std::vector<Walked> all;
    NavigatorItem root;
    root.mapId = mapId;
    EXPECT_EQ(host.GetNavigatorRoot(mapId, &root.guid), kHostOk);
    std::function<void(const NavigatorItem&, int)> walk = [&](const NavigatorItem& parent, int depth) {
        std::vector<NavigatorItem> children;
        ASSERT_EQ(host.GetNavigatorChildren(parent, &children), kHostOk);
        for (const NavigatorItem& child : children) {
            EXPECT_EQ(child.mapId, mapId);
            all.push_back({child, depth + 1, parent.itemType});
            walk(child, depth + 1);
        }
    };
    walk(root, 0);
    return all;
}

std::vector<Walked> Named(const std::vector<Walked>& items, const std::string& name) {
    std::vector<Walked> found;
    for (const Walked& w : items)
        if (Utf16ToUtf8(w.item.name) == name) found.push_back(w);
    return found;
}

Box3D BuildingBox(SimHost& host) {
    Box3D all{1e9, 1e9, 1e9, -1e9, -1e9, -1e9};
    for (const int32_t type : {1, 8, 9, 2, 37, 43}) {
        std::vector<HostGuid> elements;
        EXPECT_EQ(host.ListElements(type, 10, &elements), kHostOk);
        for (const HostGuid& g : elements) {
            Box3D b;
            EXPECT_EQ(host.GetElementBox3D(g, &b), kHostOk);
            all = {std::min(all.xMin, b.xMin), std::min(all.yMin, b.yMin), std::min(all.zMin, b.zMin),
                   std::max(all.xMax, b.xMax), std::max(all.yMax, b.yMax), std::max(all.zMax, b.zMax)};
        }
    }
    return all;
}

// The camera's position with absolute height.
struct Position {
    double x, y, z;
};
Position CameraOf(SimHost& host, const NavigatorItem& item) {
    PerspectiveCamera c;
    int32_t story = -1;
    EXPECT_EQ(host.GetCameraElement(item.cameraGuid, &c, &story), kHostOk);
    std::vector<StoryInfo> stories;
    EXPECT_EQ(host.GetStories(&stories), kHostOk);
    double level = 0;
    for (const StoryInfo& s : stories)
        if (s.index == story) level = s.level;
    return {c.cameraX, c.cameraY, c.cameraZ + level};
}

bool Inside(const Position& p, const Box3D& b) {
    return b.xMin < p.x && p.x < b.xMax && b.yMin < p.y && p.y < b.yMax && b.zMin < p.z && p.z < b.zMax;
}

TEST(SimNavigator, TheHouseHasEveryKindOfViewTheListingTellsApart) {
    Harness h(false);
    SimHost& host = h.host();
    const std::vector<Walked> map1 = Walk(host, 1), map2 = Walk(host, 2);
    std::set<int32_t> types;
    std::set<HostGuid> guids;
    for (const auto* map : {&map1, &map2})
        for (const Walked& w : *map) {
            types.insert(w.item.itemType);
            EXPECT_TRUE(guids.insert(w.item.guid).second) << "item GUIDs are unique across both maps";
            if (!w.item.cameraGuid.IsNull()) {
                ElementHeader header;
                ASSERT_EQ(host.GetElementHeader(w.item.cameraGuid, &header), kHostOk);
                EXPECT_EQ(header.typeCode, 26);
            }
        }
    for (const int32_t t : {5, 6, 10, 11}) EXPECT_TRUE(types.count(t)) << "item type " << t;

    const Box3D box = BuildingBox(host);
    ASSERT_EQ(Named(map1, "Sala de estar").size(), 1u);
    EXPECT_TRUE(Inside(CameraOf(host, Named(map1, "Sala de estar")[0].item), box));
    EXPECT_EQ(Named(map1, "Sala de estar")[0].parentType, 11) << "a camera of a camera set";
    ASSERT_EQ(Named(map1, "Quarto").size(), 1u);
    const Position bedroom = CameraOf(host, Named(map1, "Quarto")[0].item);
    EXPECT_DOUBLE_EQ(bedroom.z, 4.6) << "1.6 above the upper storey's level of 3";
    EXPECT_TRUE(Inside(bedroom, box));

    // A camera in both maps: two items, one camera.
    ASSERT_EQ(Named(map1, "Fachada norte").size(), 1u);
    ASSERT_EQ(Named(map2, "Fachada norte").size(), 1u);
    EXPECT_EQ(Named(map1, "Fachada norte")[0].item.cameraGuid, Named(map2, "Fachada norte")[0].item.cameraGuid);
    EXPECT_FALSE(Inside(CameraOf(host, Named(map2, "Fachada norte")[0].item), box));

    const auto kitchens = Named(map2, "Kitchen");
    ASSERT_EQ(kitchens.size(), 2u);
    EXPECT_NE(kitchens[0].item.cameraGuid, kitchens[1].item.cameraGuid);

    // A saved perspective without a camera in both maps, an axonometric view without one.
    for (const auto* map : {&map1, &map2}) {
        const auto saved = Named(*map, "Perspectiva salva");
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_EQ(saved[0].item.itemType, 5);
        EXPECT_TRUE(saved[0].item.cameraGuid.IsNull());
    }
    ASSERT_EQ(Named(map2, "Axonometria").size(), 1u);
    EXPECT_EQ(Named(map2, "Axonometria")[0].item.itemType, 6);

    // A camera exactly on the building box's face, and a view known only by its ID text.
    ASSERT_EQ(Named(map2, "Pérgola").size(), 1u);
    EXPECT_EQ(CameraOf(host, Named(map2, "Pérgola")[0].item).x, box.xMax);
    const auto unnamed = Named(map2, "");
    ASSERT_EQ(unnamed.size(), 1u);
    EXPECT_EQ(unnamed[0].item.idText, u"V-07");
}

TEST(SimNavigator, ManyViewsIsDeeperThanEightLevelsAndHoldsMoreThan120Views) {
    Harness h(false);
    ASSERT_TRUE(h.host().LoadModel("many-views"));
    int deepest = 0;
    size_t cameras = 0;
    for (const int32_t map : {1, 2})
        for (const Walked& w : Walk(h.host(), map)) {
            deepest = std::max(deepest, w.depth);
            cameras += w.item.itemType == 10;
        }
    EXPECT_GT(deepest, 9);
    EXPECT_GT(cameras, 120u);
}

TEST(SimNavigator, ChildrenAreRefusedForAnUnknownItemOrTheWrongMap) {
    Harness h(false);
    SimHost& host = h.host();
    NavigatorItem root;
    ASSERT_EQ(host.GetNavigatorRoot(2, &root.guid), kHostOk);
    std::vector<NavigatorItem> children;
    root.mapId = 1;
    EXPECT_EQ(host.GetNavigatorChildren(root, &children), kSimErrBadParameters);
    root.guid = SimGuid("no such item");
    root.mapId = 2;
    EXPECT_EQ(host.GetNavigatorChildren(root, &children), kHostErrNotFound);
    EXPECT_EQ(host.GetNavigatorRoot(3, &root.guid), kSimErrBadParameters);
}

const std::vector<int32_t> kContentTypes = {1, 8, 9, 6, 10, 45, 2, 3, 37, 43, 4, 5, 44, 7};

TEST(SimElements, OnlyTheHouseModelsHoldContentTypes) {
    Harness h(false);
    auto contentTypes = [&] {
        std::set<int32_t> held;
        for (const int32_t type : kContentTypes) {
            std::vector<HostGuid> elements;
            EXPECT_EQ(h.host().ListElements(type, 10, &elements), kHostOk);
            if (!elements.empty()) held.insert(type);
        }
        return held;
    };
    EXPECT_EQ(contentTypes().size(), kContentTypes.size()) << "the house holds every content type";
    ASSERT_TRUE(h.host().LoadModel("stairs-only"));
    EXPECT_TRUE(contentTypes().empty());
    for (const int32_t type : {SimType::kStair, SimType::kZone}) {
        std::vector<HostGuid> elements;
        EXPECT_EQ(h.host().ListElements(type, 10, &elements), kHostOk);
        EXPECT_FALSE(elements.empty());
    }
    ASSERT_TRUE(h.host().LoadModel("empty"));
    EXPECT_TRUE(contentTypes().empty());
    Box3D extent;
    ASSERT_EQ(h.host().GetModelExtent3D(&extent), kHostOk);
    EXPECT_GT(extent.xMin, extent.xMax) << "an empty extent";
}

TEST(SimElements, ADeletedCameraCanNoLongerBeRead) {
    Harness h(false);
    SimHost& host = h.host();
    const auto north = Named(Walk(host, 2), "Fachada norte");
    ASSERT_EQ(north.size(), 1u);
    PerspectiveCamera c;
    int32_t story = 0;
    ASSERT_EQ(host.GetCameraElement(north[0].item.cameraGuid, &c, &story), kHostOk);
    ASSERT_TRUE(host.model.DeleteElement(north[0].item.cameraGuid));
    EXPECT_EQ(host.GetCameraElement(north[0].item.cameraGuid, &c, &story), kHostErrNotFound);
    ElementHeader header;
    EXPECT_EQ(host.GetElementHeader(north[0].item.cameraGuid, &header), kHostErrNotFound);
    // A wall is no camera and has a box; a camera has no box.
    std::vector<HostGuid> walls, cameras;
    host.ListElements(1, 10, &walls);
    host.ListElements(26, 10, &cameras);
    ASSERT_FALSE(walls.empty());
    ASSERT_FALSE(cameras.empty());
    EXPECT_EQ(host.GetCameraElement(walls[0], &c, &story), kHostErrNotFound);
    Box3D box;
    EXPECT_EQ(host.GetElementBox3D(cameras[0], &box), kHostErrNotFound);
}

TEST(SimViews, FrontWindowAndProjectionCanBeReadAndChanged) {
    Harness h(false);
    SimHost& host = h.host();
    WindowInfo front;
    ASSERT_EQ(host.GetFrontWindow(&front), kHostOk);
    EXPECT_EQ(front.kind, 1) << "the floor plan is in front at start";
    EXPECT_FALSE(front.databaseGuid.IsNull());
    const WindowInfo plan = front;
    // The projection is read whichever window is in front.
    Projection3D p;
    ASSERT_EQ(host.GetProjection3D(&p), kHostOk);
    EXPECT_TRUE(p.perspective);

    ASSERT_EQ(host.ChangeFrontWindow(WindowInfo{4, {}}), kHostOk);
    ASSERT_EQ(host.GetFrontWindow(&front), kHostOk);
    EXPECT_EQ(front.kind, 4);
    EXPECT_FALSE(front.databaseGuid.IsNull());
    const WindowInfo worksheet = host.model.windows[2].info;
    ASSERT_EQ(worksheet.kind, 7);
    EXPECT_EQ(host.ChangeFrontWindow(worksheet), kHostOk);
    EXPECT_EQ(host.ChangeFrontWindow(WindowInfo{7, SimGuid("gone")}), kHostErrNotFound);
    EXPECT_EQ(host.ChangeFrontWindow(WindowInfo{42, {}}), kSimErrBadParameters);
    ASSERT_EQ(host.GetFrontWindow(&front), kHostOk);
    EXPECT_EQ(front.databaseGuid, worksheet.databaseGuid) << "a refused change keeps the front window";
    EXPECT_EQ(host.ChangeFrontWindow(plan), kHostOk);

    p.camera.cameraX += 3;
    ASSERT_EQ(host.SetProjection3D(p, 0), kHostOk);
    Projection3D read;
    ASSERT_EQ(host.GetProjection3D(&read), kHostOk);
    EXPECT_EQ(read.camera.cameraX, p.camera.cameraX);

    int32_t layers = 0;
    ASSERT_EQ(host.GetLayerCombination(&layers), kHostOk);
    EXPECT_EQ(layers, 1);
    EXPECT_EQ(host.SetLayerCombination(3), kHostOk);
    EXPECT_EQ(host.SetLayerCombination(4), kSimErrBadParameters);
    ASSERT_EQ(host.GetLayerCombination(&layers), kHostOk);
    EXPECT_EQ(layers, 3);
}

std::string PngOf(const NativeImage& image) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(image.Encode(1, &bytes), kHostOk);
    return std::string(bytes.begin(), bytes.end());
}

TEST(SimViews, TheCurrentImageFollowsTheWindowSizeAndTheCamera) {
    Harness h(false);
    SimHost& host = h.host();
    host.Set3DWindowSize(300, 200);
    ASSERT_TRUE(host.UserBringToFront(4));
    h.TurnFor(host.frame3D.drawDelay);
    int32_t option = 0;
    std::unique_ptr<NativeImage> before, after;
    ASSERT_EQ(host.GetCurrent3DImage(&option, &before), kHostOk);
    EXPECT_EQ(before->Width(), 300u);
    EXPECT_EQ(before->Height(), 200u);
    Projection3D p;
    host.GetProjection3D(&p);
    p.camera.cameraX = 30;
    ASSERT_EQ(host.SetProjection3D(p, 0), kHostOk);
    h.TurnFor(host.frame3D.drawDelay);
    ASSERT_EQ(host.GetCurrent3DImage(&option, &after), kHostOk);
    const std::string a = PngOf(*before), b = PngOf(*after);
    EXPECT_NE(a, b);
    Bitmap decoded;
    ASSERT_TRUE(DecodeBitmap(b, &decoded));
    EXPECT_EQ(decoded.width, 300);
    EXPECT_EQ(decoded.height, 200);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(after->Encode(2, &bytes), kSimErrBadParameters) << "only encoding 1, PNG";
}

TEST(SimViews, ThePictureSaveWritesThe3DWindowAsPng) {
    Harness h(false);
    SimHost& host = h.host();
    host.Set3DWindowSize(160, 120);
    const std::filesystem::path file = h.folders().root() / "picture.png";
    const std::u16string path = file.u16string();
    EXPECT_EQ(host.SaveFrontWindowPicture(16, path, PictureSettings{6}), kHostErrWrongWindow) << "the plan in front";
    EXPECT_FALSE(std::filesystem::exists(file));
    ASSERT_TRUE(host.UserBringToFront(4));
    ASSERT_EQ(host.SaveFrontWindowPicture(16, path, PictureSettings{6}), kHostOk);
    const std::string bytes = ReadFileText(file);
    int w = 0, hgt = 0;
    ASSERT_TRUE(ReadImageSize(bytes, &w, &hgt));
    EXPECT_EQ(w, 160);
    EXPECT_EQ(hgt, 120);
    EXPECT_EQ(host.SaveFrontWindowPicture(16, (h.folders().root() / "no" / "such.png").u16string(),
                                          PictureSettings{6}),
              kSimErrGeneral);
}

// The window search of window printing: a visible "DGFrameWindow" of the process, a visible
// descendant "DGModelessDlgClass" titled with " 3D", its first direct child "DGUserItemClass"
// larger than 100 x 100.
NativeWindowHandle FindDrawingArea(const SimWindows& w) {
    for (const NativeWindowHandle frame : w.TopLevelWindows()) {
        if (!w.IsOwnProcess(frame) || !w.IsVisible(frame) || w.ClassName(frame) != "DGFrameWindow") continue;
        for (const NativeWindowHandle dialog : w.Descendants(frame)) {
            if (!w.IsVisible(dialog) || w.ClassName(dialog) != "DGModelessDlgClass" ||
                w.Title(dialog).find(" 3D") == std::string::npos)
                continue;
            for (const NativeWindowHandle child : w.Children(dialog)) {
                WindowRect r;
                const_cast<SimWindows&>(w).GetRect(child, &r);
                if (w.ClassName(child) == "DGUserItemClass" && r.Width() > 100 && r.Height() > 100) return child;
            }
            return 0;
        }
    }
    return 0;
}

TEST(SimWindowTree, TheDrawingAreaIsFoundAndPrintsThe3DPicture) {
    Harness h(false);
    SimHost& host = h.host();
    host.Set3DWindowSize(240, 160);
    ASSERT_TRUE(host.UserBringToFront(4));
    h.TurnFor(host.frame3D.drawDelay);
    ASSERT_TRUE(host.frame3D.Drawn());
    ASSERT_EQ(FindDrawingArea(host.windows), host.drawingArea3D);
    int width = 0, height = 0;
    std::vector<uint32_t> printed;
    ASSERT_TRUE(host.windows.PrintWindow(host.drawingArea3D, &width, &height, &printed));
    ASSERT_EQ(width, 240);
    ASSERT_EQ(height, 160);
    SimPicture drawn;
    ASSERT_TRUE(host.Draw3D(&drawn));
    for (int y = 0; y < height; y += 9)
        for (int x = 0; x < width; x += 7)
            ASSERT_EQ(printed[size_t(y) * size_t(width) + size_t(x)], 0xFF000000u | drawn.Pixel(x, y));
}

TEST(SimWindowTree, AHiddenOrShrunk3DWindowIsNotFound) {
    Harness h(false);
    SimHost& host = h.host();
    host.windows.Find(host.dialog3D)->visible = false;
    EXPECT_EQ(FindDrawingArea(host.windows), 0u);
    EXPECT_FALSE(host.windows.IsVisible(host.drawingArea3D)) << "hidden with its dialog";
    host.windows.Find(host.dialog3D)->visible = true;
    host.Set3DWindowSize(100, 400);
    EXPECT_EQ(FindDrawingArea(host.windows), 0u);
    host.Set3DWindowSize(101, 101);
    EXPECT_EQ(FindDrawingArea(host.windows), host.drawingArea3D);
    // Another process's frame window is skipped; destroying the frame removes the whole tree.
    host.windows.Find(host.mainWindow)->processId = 7;
    EXPECT_EQ(FindDrawingArea(host.windows), 0u);
    host.windows.Destroy(host.mainWindow);
    EXPECT_EQ(host.windows.Find(host.drawingArea3D), nullptr);
    host.mainWindow = 0;
}

}  // namespace
