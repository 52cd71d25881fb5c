// "listViews" through the bridge: the entries of the house's navigator, their names, guesses and
// thumbnails, the walk's limits, failures that shrink the answer, and the pure pieces (the
// keyword guess, the box tests, the placeholder).
#include <gtest/gtest.h>

#include "handlers/views/Cameras.h"
#include "handlers/views/ViewListing.h"
#include "platform/Utf.h"
#include "views/ViewsHarness.h"

using namespace OvraViews;

namespace {

const char* const kDot = " \xC2\xB7 ";

std::vector<std::string> Names(const rapidjson::Value& listing) {
    std::vector<std::string> names;
    for (const rapidjson::Value& v : listing["views"].GetArray()) names.push_back(Text(v, "name"));
    return names;
}

bool Flag(const rapidjson::Value& view, const char* member) {
    const auto it = view.FindMember(member);
    return it != view.MemberEnd() && it->value.IsTrue();
}

// The id the listing gives a navigator item of the sample house.
std::string NavId(const std::string& key) {
    std::string text = SimGuid("navigator/Casa exemplo/" + key).ToText();
    return "nav-" + text.substr(1, text.size() - 2);
}

// A camera element added to the model, and a navigator item showing it.
SimNavigatorNode AddCamera(SimModel& model, const std::string& key, const std::string& name, double x, double y) {
    SimElement camera;
    camera.guid = SimGuid("test/camera/" + key);
    camera.typeCode = SimType::kCamera;
    camera.camera = PerspectiveCamera{x, y, 1.6, 5, 4, 1.5, 60, 0, 10};
    model.elements.push_back(camera);
    SimNavigatorNode node;
    node.item.guid = SimGuid("test/navigator/" + key);
    node.item.cameraGuid = camera.guid;
    node.item.itemType = SimNavType::kCamera;
    node.item.name = Utf8ToUtf16(name);
    return node;
}

// ---- The house --------------------------------------------------------------------------------

TEST(Listing, TheHousesViewsInOrderWithTheirGuesses) {
    ViewsHarness h;
    const rapidjson::Value& listing = h.ListViews();
    EXPECT_EQ(Text(listing, "projectName"), "Untitled");
    const std::vector<std::string> expected = {
        "Current 3D view",
        std::string("Sala de estar C1") + kDot + "Interiores",
        std::string("Quarto C2") + kDot + "Interiores",
        std::string("Entrada P1") + kDot + "Percurso",
        std::string("Jardim P2") + kDot + "Percurso",
        std::string("Vista P3") + kDot + "Percurso",  // its reference is already in its name
        "Fachada norte",
        "Kitchen 1",
        "Kitchen 2",
        "Perspectiva salva",
        "Axonometria",
        "V-07",  // no name: its ID text
        "P\xC3\xA9rgola",
    };
    EXPECT_EQ(Names(listing), expected);
    const std::vector<std::string> spaces = {"exterior", "interior", "interior", "exterior", "exterior",
                                             "exterior", "exterior", "interior", "interior", "exterior",
                                             "exterior", "exterior", "exterior"};
    std::vector<std::string> got;
    for (const rapidjson::Value& v : listing["views"].GetArray()) got.push_back(Text(v, "space"));
    EXPECT_EQ(got, spaces);
    EXPECT_TRUE(h.Logged("listViews 13 (camera story 0 level 0.00 pos 11.80 4.00 z 1.60 target 4.00 -8.00 z 1.50)"));
}

TEST(Listing, EachObjectsMembersInOrder) {
    ViewsHarness h;
    h.ListViews();
    const std::string& json = h.OnlyReplyTo("list")->json;
    EXPECT_EQ(json.find(R"({"id":"list","ok":true,"result":{"projectName":"Untitled","views":[{"id":"current","name":"Current 3D view","space":"exterior","thumbnail":"data:image/svg+xml;base64,)"),
              0u)
        << json.substr(0, 300);
    const std::string unavailable =
        "{\"id\":\"" + NavId("m2/perspectiva") +
        "\",\"name\":\"Perspectiva salva\",\"space\":\"exterior\",\"thumbnail\":\"" + PlaceholderThumbnail("exterior") +
        "\",\"empty\":true,\"unavailable\":true,\"reason\":\"Saved Archicad view: open it in Archicad and use "
        "\xE2\x80\x9C" "Current view\xE2\x80\x9D.\"}";
    EXPECT_NE(json.find(unavailable), std::string::npos);
    const std::string kitchen = "{\"id\":\"" + NavId("m2/kitchen-1") +
                                "\",\"name\":\"Kitchen 1\",\"space\":\"interior\",\"thumbnail\":\"" +
                                PlaceholderThumbnail("interior") + "\"},";
    EXPECT_NE(json.find(kitchen), std::string::npos);
}

TEST(Listing, OnlyTheCurrentViewIsMarkedCurrentAndOnlySavedViewsWithoutCameraUnavailable) {
    ViewsHarness h;
    const rapidjson::Value& listing = h.ListViews();
    for (const rapidjson::Value& v : listing["views"].GetArray()) {
        const std::string name = Text(v, "name");
        EXPECT_EQ(Flag(v, "current"), name == "Current 3D view") << name;
        const bool withoutCamera = name == "Perspectiva salva" || name == "Axonometria";
        EXPECT_EQ(Flag(v, "unavailable"), withoutCamera) << name;
        EXPECT_EQ(Flag(v, "empty"), withoutCamera) << name;
        EXPECT_EQ(v.HasMember("reason"), withoutCamera) << name;
    }
}

TEST(Listing, ACameraInBothMapsIsListedOnceFromTheProjectMap) {
    ViewsHarness h;
    const rapidjson::Value& listing = h.ListViews();
    const std::vector<std::string> names = Names(listing);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Fachada norte"), 1);
    EXPECT_EQ(h.IdOf(listing, "Fachada norte"), NavId("m1/fachada-norte"));
}

TEST(Listing, ASavedViewWithoutCameraIsListedFromTheViewMapOnly) {
    ViewsHarness h;
    const rapidjson::Value& listing = h.ListViews();
    EXPECT_EQ(h.IdOf(listing, "Perspectiva salva"), NavId("m2/perspectiva"));
    EXPECT_TRUE(h.ViewNamed(listing, "Axonometria gen\xC3\xA9rica") == nullptr) << "from the project map it is dropped";
}

TEST(Listing, TheSavedViewsMessageAndTheCurrentViewsNameFollowTheLanguage) {
    ViewsHarness h;
    struct Case {
        std::u16string language;
        const char* current;
        const char* reason;
    } cases[] = {
        {u"pt-BR", "Vista 3D atual",
         "Vista salva do Archicad: abra-a no Archicad e use \xE2\x80\x9CVista atual\xE2\x80\x9D."},
        {u"es", "Vista 3D actual",
         "Vista guardada de Archicad: \xC3\xA1" "brela en Archicad y usa \xE2\x80\x9CVista actual\xE2\x80\x9D."},
        {u"en", "Current 3D view",
         "Saved Archicad view: open it in Archicad and use \xE2\x80\x9C" "Current view\xE2\x80\x9D."},
    };
    for (const Case& c : cases) {
        const std::vector<ViewEntry> entries = CollectViews(c.language);
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries[0].name, c.current);
        const auto saved = std::find_if(entries.begin(), entries.end(),
                                        [](const ViewEntry& e) { return e.name == "Perspectiva salva"; });
        ASSERT_NE(saved, entries.end());
        EXPECT_EQ(saved->reason, c.reason);
    }
}

TEST(Listing, ListedSavedViewsAreRegisteredForCaptureAndTheRegisterIsRefilled) {
    ViewsHarness h;
    ViewCameras()["nav-stale"] = SimGuid("stale");
    const rapidjson::Value& listing = h.ListViews();
    EXPECT_EQ(ViewCameras().size(), 10u);
    EXPECT_EQ(ViewCameras().count("nav-stale"), 0u);
    EXPECT_EQ(ViewCameras().at(h.IdOf(listing, "Kitchen 2")), SimGuid("Casa exemplo/element/camera/cozinha-2"));
    EXPECT_EQ(ViewCameras().count(h.IdOf(listing, "Perspectiva salva")), 0u);
}

TEST(Listing, ARepeatedNameIsNumberedButTheCurrentViewsNameNeverIs) {
    ViewsHarness h;
    h.host().model.viewMap.children.push_back(AddCamera(h.host().model, "same", "Current 3D view", 30, 30));
    const std::vector<std::string> names = Names(h.ListViews());
    EXPECT_EQ(names.front(), "Current 3D view");
    EXPECT_EQ(names.back(), "Current 3D view 1");
    EXPECT_EQ(std::count(names.begin(), names.end(), "Kitchen 1"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Kitchen 2"), 1);
}

TEST(Listing, ACameraOnTheBuildingBoxsFaceIsExteriorAndOneJustInsideInterior) {
    ViewsHarness h;
    const BuildingBox box = ComputeBuildingBox();
    h.host().model.viewMap.children.push_back(AddCamera(h.host().model, "inside", "Inside", box.xMax - 0.01, 4));
    const rapidjson::Value& listing = h.ListViews();
    EXPECT_EQ(Text(*h.ViewNamed(listing, "P\xC3\xA9rgola"), "space"), "exterior");
    EXPECT_EQ(Text(*h.ViewNamed(listing, "Inside"), "space"), "interior") << "the box wins over the name";
}

TEST(Listing, AProjectWithoutANameIsArchicad) {
    ViewsHarness h;
    h.host().project.name = "";
    EXPECT_EQ(Text(h.ListViews(), "projectName"), "Archicad");
}

// ---- Thumbnails -------------------------------------------------------------------------------

TEST(ListingThumbnails, WithThe3DWindowInFrontTheCurrentViewGetsAPictureOfAtMost480) {
    ViewsHarness h;
    h.host().UserBringToFront(SimWindowKind::k3D);
    h.TurnFor(h.host().frame3D.drawDelay);
    const rapidjson::Value& listing = h.ListViews();
    std::string type;
    const Bitmap thumbnail = DecodePicture(DataUrlBytes(Text(listing["views"][0], "thumbnail"), &type));
    EXPECT_EQ(type, "image/jpeg");
    EXPECT_EQ(thumbnail.width, 480);
    EXPECT_EQ(thumbnail.height, 320);
    EXPECT_EQ(h.palette().Previews()["current"], Text(listing["views"][0], "thumbnail"));
    EXPECT_EQ(Text(listing["views"][1], "thumbnail"), PlaceholderThumbnail("interior"));
    EXPECT_EQ(h.TemporaryFiles(), 0u);

    h.host().Set3DWindowSize(300, 200);
    const rapidjson::Value& small = h.ListViews("small");
    const Bitmap same = DecodePicture(DataUrlBytes(Text(small["views"][0], "thumbnail")));
    EXPECT_EQ(same.width, 300) << "never enlarged";
    EXPECT_EQ(same.height, 200);
}

TEST(ListingThumbnails, WithoutThe3DWindowTheCurrentViewShowsItsPlaceholderAndTheOldPictureIsGone) {
    ViewsHarness h;
    h.palette().Previews()["current"] = "data:image/jpeg;base64,AAAA";
    const rapidjson::Value& listing = h.ListViews();
    EXPECT_EQ(Text(listing["views"][0], "thumbnail"), PlaceholderThumbnail("exterior"));
    EXPECT_EQ(h.palette().Previews().count("current"), 0u);
}

TEST(ListingThumbnails, AFailedPictureLeavesThePlaceholderSilently) {
    ViewsHarness h;
    h.host().UserBringToFront(SimWindowKind::k3D);
    h.host().FailOperation("GetCurrent3DImage", kHostErrOutOfMemory);
    h.host().FailOperation("SaveFrontWindowPicture", kHostErrOutOfMemory);
    const rapidjson::Value& listing = h.ListViews();
    EXPECT_EQ(Text(listing["views"][0], "thumbnail"), PlaceholderThumbnail("exterior"));
    EXPECT_FALSE(h.LogContains("capture"));
}

TEST(ListingThumbnails, ASavedViewShowsItsLastCapturesPreview) {
    ViewsHarness h;
    const std::string id = h.IdOf(h.ListViews(), "Kitchen 1");
    const ScriptedPage::Message* capture = h.Capture("c", id);
    ASSERT_NE(capture, nullptr);
    const std::string preview = Text((*capture->document)["result"], "preview");
    ASSERT_FALSE(preview.empty());
    const rapidjson::Value& listing = h.ListViews("again");
    EXPECT_EQ(Text(*h.ViewNamed(listing, "Kitchen 1"), "thumbnail"), preview);
    EXPECT_EQ(Text(*h.ViewNamed(listing, "Kitchen 2"), "thumbnail"), PlaceholderThumbnail("interior"));
}

// ---- Empty models -----------------------------------------------------------------------------

TEST(ListingEmpty, AModelWithNothingToRenderMarksEveryAvailableViewEmpty) {
    for (const char* sample : {"empty", "stairs-only"}) {
        ViewsHarness h;
        h.host().LoadModel(sample);
        const rapidjson::Value& listing = h.ListViews();
        for (const rapidjson::Value& v : listing["views"].GetArray())
            EXPECT_TRUE(Flag(v, "empty")) << sample << " " << Text(v, "name");
    }
}

TEST(ListingEmpty, AnEmptyModelsLogLineIsTheBuildingBoxLine) {
    ViewsHarness h;
    h.host().LoadModel("empty");
    EXPECT_EQ(Names(h.ListViews()), std::vector<std::string>{"Current 3D view"});
    EXPECT_TRUE(h.Logged("listViews 1 (building box z 0.00..0.00 x 0.00..0.00 y 0.00..0.00; current camera z 7.00 "
                         "target z 2.00)"));
}

TEST(ListingEmpty, AFailedContentTestCountsAsContent) {
    ViewsHarness h;
    h.host().LoadModel("empty");
    h.host().FailOperation("ListElements", kHostErrOutOfMemory);
    const rapidjson::Value& listing = h.ListViews();
    EXPECT_FALSE(Flag(listing["views"][0], "empty"));
}

// ---- The walk ---------------------------------------------------------------------------------

TEST(ListingWalk, ItGoesEightLevelsDeepAndStartsNoWalkPast120Entries) {
    ViewsHarness h;
    h.host().LoadModel("many-views");
    // A camera after the folder of 130: the list holds 138 entries when its walk would begin.
    SimNavigatorNode late;
    late.item.guid = SimGuid("test/late-folder");
    late.item.itemType = SimNavType::kFolder;
    late.children.push_back(AddCamera(h.host().model, "late", "Late", 40, 40));
    h.host().model.viewMap.children.push_back(late);
    const std::vector<std::string> names = Names(h.ListViews());
    EXPECT_EQ(names.size(), 1u + 8u + 130u) << "the children of a walk begun are all handled";
    for (int depth = 1; depth <= 12; ++depth)
        EXPECT_EQ(std::count(names.begin(), names.end(), "Profundidade " + std::to_string(depth)), depth <= 8 ? 1 : 0)
            << depth;
    EXPECT_EQ(std::count(names.begin(), names.end(), "Late"), 0);
}

TEST(ListingWalk, TheLimitCountsTheProjectMapsUnavailableEntriesToo) {
    ViewsHarness h;
    h.host().LoadModel("empty");
    SimNavigatorNode unavailable;
    unavailable.item.guid = SimGuid("test/unavailable");
    unavailable.item.itemType = SimNavType::kFolder;
    for (int i = 0; i < 120; ++i) {
        SimNavigatorNode view;
        view.item.guid = SimGuid("test/perspective/" + std::to_string(i));
        view.item.itemType = SimNavType::kPerspective;
        view.item.name = u"Sem c\u00E2mera";
        unavailable.children.push_back(view);
    }
    SimNavigatorNode later;
    later.item.guid = SimGuid("test/later");
    later.item.itemType = SimNavType::kFolder;
    later.children.push_back(AddCamera(h.host().model, "later", "Later", 40, 40));
    h.host().model.projectMap.children.push_back(unavailable);
    h.host().model.projectMap.children.push_back(later);
    // The same camera from the view map, whose count starts again.
    h.host().model.viewMap.children.push_back(AddCamera(h.host().model, "later2", "Later too", 41, 41));
    EXPECT_EQ(Names(h.ListViews()), (std::vector<std::string>{"Current 3D view", "Later too"}));
}

TEST(ListingWalk, AMapThatCannotBeReadIsLeftOutAndABranchEndsWhereItFails) {
    ViewsHarness h;
    h.host().FailOperation("GetNavigatorRoot", kHostErrOutOfMemory, true);
    const rapidjson::Value& listing = h.ListViews();
    EXPECT_EQ(h.IdOf(listing, "Fachada norte"), NavId("m2/fachada-norte")) << "now only the view map shows it";
    EXPECT_EQ(listing["views"].Size(), 8u);

    h.host().FailOperation("GetNavigatorChildren", kHostErrOutOfMemory, true);
    EXPECT_EQ(Names(h.ListViews("second")).size(), 8u) << "the project map's root gives no children";
}

TEST(ListingWalk, AnUnreadableProjectionMakesTheCurrentViewInterior) {
    ViewsHarness h;
    h.host().FailOperation("GetProjection3D", kHostErrOutOfMemory, true);
    EXPECT_EQ(Text(h.ListViews()["views"][0], "space"), "interior");
    h.host().ClearFailures();
    h.host().projection.perspective = false;
    EXPECT_EQ(Text(h.ListViews("parallel")["views"][0], "space"), "exterior");
}

// ---- The pieces -------------------------------------------------------------------------------

TEST(Classify, ByNameAfterLowerCasing) {
    struct Case {
        const char* name;
        int32_t type;
        const char* space;
    } cases[] = {
        {"Sala de estar", 10, "interior"},
        {"SU\xC3\x8DTE master", 10, "interior"},
        {"BA\xC3\x91O principal", 5, "interior"},
        {"ESCRIT\xC3\x93RIO", 10, "interior"},
        {"Living Room", 10, "interior"},
        {"INTERNO", 5, "interior"},
        {"Fachada norte", 10, "exterior"},
        {"Perspectiva salva", 5, "exterior"},
        {"Sala", 6, "exterior"},  // an axonometric view is always exterior
        {"", 10, "exterior"},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyByName(Utf8ToUtf16(c.name), c.type), c.space) << c.name;
}

TEST(Classify, LowerCasingCoversTheLatinGreekAndCyrillicCapitals) {
    EXPECT_EQ(LowerCase(u"\u00C0\u00D7\u00DE\u0100\u0139\u0178\u0130\u0391\u0410\u0401XY"),
              u"\u00E0\u00D7\u00FE\u0101\u013A\u00FF\u0069\u03B1\u0430\u0451xy");
}

TEST(Classify, ByBoxIsStrictAndWithoutABoxTheFallbackStands) {
    const BuildingBox box{true, 0, 0, 0, 10, 8, 6};
    auto at = [](double x, double y, double z) { return PerspectiveCamera{x, y, z, 0, 0, 0, 60, 0, 1}; };
    EXPECT_EQ(ClassifyByBox(at(5, 4, 1.6), box, "x"), "interior");
    EXPECT_EQ(ClassifyByBox(at(10, 4, 1.6), box, "x"), "exterior");
    EXPECT_EQ(ClassifyByBox(at(5, 0, 1.6), box, "x"), "exterior");
    EXPECT_EQ(ClassifyByBox(at(5, 4, 6), box, "x"), "exterior");
    EXPECT_EQ(ClassifyByBox(at(5, 4, 1.6), BuildingBox{}, "fallback"), "fallback");
}

TEST(Classify, ByModelExtentCountsTheFacesAsInside) {
    ViewsHarness h;
    Box3D extent;
    ASSERT_TRUE(h.host().model.Extent(&extent));
    h.host().projection.camera.cameraX = extent.xMax;
    h.host().projection.camera.cameraY = extent.yMin;
    h.host().projection.camera.cameraZ = extent.zMin;
    EXPECT_EQ(ClassifyByModelExtent(), "interior");
    h.host().projection.camera.cameraX = extent.xMax + 0.01;
    EXPECT_EQ(ClassifyByModelExtent(), "exterior");
    h.host().projection.perspective = false;
    EXPECT_EQ(ClassifyByModelExtent(), "exterior");
    h.host().projection.perspective = true;
    h.host().FailOperation("GetModelExtent3D", kHostErrOutOfMemory, true);
    EXPECT_EQ(ClassifyByModelExtent(), "interior");
    h.host().LoadModel("empty");  // an extent whose minimum is above its maximum
    EXPECT_EQ(ClassifyByModelExtent(), "interior");
}

TEST(Classify, TheCurrentViewFallsBackOnTheExtentWhenThereIsNoBuilding) {
    ViewsHarness h;
    h.host().LoadModel("stairs-only");  // no walls, slabs, roofs, columns, curtain walls or shells
    h.host().projection.camera.cameraX = 8;
    h.host().projection.camera.cameraY = 6;
    h.host().projection.camera.cameraZ = 1;
    EXPECT_EQ(Text(h.ListViews()["views"][0], "space"), "interior");
}

TEST(BuildingBox, WallsSlabsRoofsColumnsCurtainWallsAndShells) {
    ViewsHarness h;
    const BuildingBox box = ComputeBuildingBox();
    ASSERT_TRUE(box.valid);
    EXPECT_DOUBLE_EQ(box.xMin, -0.4);  // the roof's eaves
    EXPECT_DOUBLE_EQ(box.xMax, 11.8);  // the pergola's columns
    EXPECT_DOUBLE_EQ(box.yMin, -1.4);  // the canopy
    EXPECT_DOUBLE_EQ(box.yMax, 8.4);
    EXPECT_DOUBLE_EQ(box.zMin, -0.3);
    EXPECT_DOUBLE_EQ(box.zMax, 6.7);  // not the skylight, not the lawn
    h.host().LoadModel("stairs-only");
    EXPECT_FALSE(ComputeBuildingBox().valid);
}

TEST(Placeholder, TheSvgByteForByte) {
    const std::string head =
        "<svg xmlns='http://www.w3.org/2000/svg' width='320' height='200' viewBox='0 0 320 200'>"
        "<rect width='320' height='200' fill='#eef0f3'/>";
    EXPECT_EQ(head.size(), 134u);
    std::string type;
    EXPECT_EQ(DataUrlBytes(PlaceholderThumbnail("interior"), &type),
              head +
                  "<path d='M110 140h100v-36h-100z M120 104v-14h80v14' fill='none' stroke='#9aa3ad' "
                  "stroke-width='6' stroke-linejoin='round'/></svg>");
    EXPECT_EQ(type, "image/svg+xml");
    for (const char* space : {"exterior", "Interior", ""})
        EXPECT_EQ(DataUrlBytes(PlaceholderThumbnail(space)),
                  head +
                      "<path d='M100 140v-50l60-36 60 36v50z M145 140v-28h30v28' fill='none' stroke='#9aa3ad' "
                      "stroke-width='6' stroke-linejoin='round'/></svg>")
            << space;
}
}  // namespace
