// The host's records around a capture: the user's parallel 3D view and front window come back
// whole, every field the add-on does not read included, and a camera is read only from a camera
// element, whatever the host's binding checks.
#include <gtest/gtest.h>

#include "handlers/views/Cameras.h"
#include "platform/Utf.h"
#include "sim/host/SimRecords.h"
#include "views/ViewsHarness.h"

using namespace std::chrono_literals;

namespace {

// Every navigator item of the tree that shows a camera.
void ItemsWithCameras(SimNavigatorNode& node, std::vector<NavigatorItem*>* items) {
    if (!node.item.cameraGuid.IsNull()) items->push_back(&node.item);
    for (SimNavigatorNode& child : node.children) ItemsWithCameras(child, items);
}

TEST(CaptureRecords, AParallelViewAndTheFrontWindowComeBackWholeEveryField) {
    ViewsHarness h;
    // A dimetric view at half scale with its own sun, and the plan zoomed and scrolled.
    Projection3D parallel;
    parallel.perspective = false;
    parallel.camera = {30, -20, 25, 5, 6, 1, 0, 0, 41};
    parallel.rest = EncodeRest(SimProjectionRest{2, 0.5, 100, 20, 7});
    h.host().projection = parallel;
    h.host().front.rest = EncodeRest(SimWindowRest{2.5, 10, -3});
    const WindowInfo front = h.host().front;
    const std::string saved = h.IdOf(h.ListViews(), "Kitchen 2");
    ASSERT_FALSE(saved.empty());
    for (const std::string& view : {saved, std::string("current")}) {
        const ScriptedPage::Message* reply = h.Capture("c-" + view, view);
        ASSERT_NE(reply, nullptr) << view;
        EXPECT_TRUE(reply->Ok()) << reply->json;
        EXPECT_TRUE(h.host().projection == parallel) << view << ": the projection record, every field";
        EXPECT_TRUE(h.host().front == front) << view << ": the window record, every field";
    }
    EXPECT_EQ(h.host().issuedProjections.Refused(), 0u);
    EXPECT_EQ(h.host().issuedWindows.Refused(), 0u);
}

TEST(CaptureRecords, AHostRefusesARecordWhoseOpaquePartItDidNotHandOut) {
    ViewsHarness h;
    Projection3D made = h.host().projection;
    made.rest = EncodeRest(SimProjectionRest{1, 3, 0, 0, 0});
    EXPECT_NE(h.host().SetProjection3D(made, 0), kHostOk);
    Projection3D read;
    ASSERT_EQ(h.host().GetProjection3D(&read), kHostOk);
    EXPECT_EQ(h.host().SetProjection3D(read, 0), kHostOk);
    // None at all stands for the host's defaults.
    read.rest = {};
    EXPECT_EQ(h.host().SetProjection3D(read, 0), kHostOk);
    EXPECT_EQ(DecodeProjectionRest(h.host().projection.rest), SimProjectionRest{});
    EXPECT_EQ(h.host().issuedProjections.Refused(), 1u);
}

TEST(CaptureRecords, ACameraIsReadOnlyFromACameraElementWhateverTheBindingChecks) {
    ViewsHarness h;
    // A binding whose camera call reads any element, and a view whose camera is a wall.
    h.host().cameraRecordOfAnyElement = true;
    std::vector<NavigatorItem*> items;
    ItemsWithCameras(h.host().model.viewMap, &items);
    ItemsWithCameras(h.host().model.projectMap, &items);
    ASSERT_FALSE(items.empty());
    HostGuid wall;
    for (const SimElement& e : h.host().model.elements)
        if (e.typeCode == SimType::kWall) wall = e.guid;
    ASSERT_FALSE(wall.IsNull());
    NavigatorItem& item = *items.front();
    item.cameraGuid = wall;
    const std::string name = Utf16ToUtf8(item.name.empty() ? item.idText : item.name);
    const rapidjson::Value& listing = h.ListViews();
    bool listed = false;
    for (const rapidjson::Value& entry : listing["views"].GetArray()) {
        if (Text(entry, "id") != "nav-" + item.guid.ToText().substr(1, 36)) continue;
        listed = true;
        EXPECT_TRUE(entry.HasMember("unavailable") && entry["unavailable"].GetBool()) << name << ": a wall has no camera";
    }
    EXPECT_TRUE(listed) << name;
    const ScriptedPage::Message* reply = h.StartCapture("c", "nav-" + item.guid.ToText().substr(1, 36));
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->ErrorCode(), "view_unavailable");
}

}  // namespace
