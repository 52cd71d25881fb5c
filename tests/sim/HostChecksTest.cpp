// The simulated host's failure injection and argument checks: every operation can be made to
// fail, once or until cleared, and each argument the add-on passes is checked as the host
// checks it, so a wrong value fails the call with the host's code.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "host/AddonResources.h"
#include "support/Harness.h"

namespace {

HostError NoEvents(int32_t, int32_t) { return kHostOk; }

using Call = std::function<HostError(SimHost&)>;

// One call with valid arguments for every operation the host can be told to fail.
// A worksheet made current, for the operations that work on one.
HostError NewCurrentWorksheet(SimHost& s) {
    DatabaseInfo sheet{kDatabaseWorksheet, {}, u"Sheet", u"TO"};
    if (HostError e = s.NewDatabase(&sheet)) return e;
    return s.ChangeWindow({kDatabaseWorksheet, sheet.databaseGuid});
}

// A picture record and a memo holding a PNG signature, as the host accepts them.
HostError PictureInUndoStep(SimHost& s, const std::function<void(PictureElement&, ElementMemo&)>& spoil = {}) {
    if (HostError e = NewCurrentWorksheet(s)) return e;
    PictureElement element;
    if (HostError e = s.GetPictureDefaults(&element)) return e;
    element.formatCode = kPictureFormatPng;
    element.xMax = 0.5, element.yMax = 0.25;
    ElementMemo memo;
    if (HostError e = s.AllocateBlock(8, true, &memo.pictureData)) return e;
    const uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::copy(png, png + 8, memo.pictureData.data);
    if (spoil) spoil(element, memo);
    HostGuid created;
    const HostError result = s.RunUndoable(u"Picture", [&] { return s.CreatePicture(element, memo, &created); });
    s.ReleaseMemo(&memo);
    return result;
}

std::map<std::string, Call> ValidCalls(SimHost& h, const std::filesystem::path& scratch) {
    const AddonResources* res = h.resources;
    const MenuHandler menu = h.menuHandler;
    const ModuleCommandHandler command = h.moduleCommandHandler;
    const PaletteControlHandler control = h.paletteControl;
    const int32_t refId = h.paletteRefId;
    const HostGuid guid = h.paletteGuid;
    std::vector<HostGuid> walls, cameras;
    h.ListElements(1, 10, &walls);
    h.ListElements(26, 10, &cameras);
    const std::u16string picture = (scratch / "picture.png").u16string();
    return {
        {"RegisterSupportedService", [](SimHost& s) { return s.RegisterSupportedService(FourCharCode("TOVR"), 1); }},
        {"RegisterMenu", [res](SimHost& s) { return s.RegisterMenu(res, 32500, 0, 0, 0); }},
        {"InstallMenuHandler", [menu](SimHost& s) { return s.InstallMenuHandler(32500, menu); }},
        {"InstallModuleCommandHandler",
         [command](SimHost& s) { return s.InstallModuleCommandHandler(FourCharCode("TOVR"), 1, command); }},
        {"RegisterPalette", [=](SimHost& s) { return s.RegisterPalette(refId, control, 1015, guid); }},
        {"UnregisterPalette", [refId](SimHost& s) { return s.UnregisterPalette(refId); }},
        {"KeepInMemory", [](SimHost& s) { return s.KeepInMemory(true); }},
        {"CatchProjectEvents", [](SimHost& s) { return s.CatchProjectEvents(7, NoEvents); }},
        {"GetApplicationInfo",
         [](SimHost& s) {
             ApplicationInfo info;
             return s.GetApplicationInfo(&info);
         }},
        {"CallFromEventLoop",
         [res](SimHost& s) {
             return s.CallFromEventLoop({res->developerId, res->localId}, FourCharCode("TOVR"), 1, true);
         }},
        {"CreatePaletteWindow",
         [res](SimHost& s) {
             std::unique_ptr<PaletteWindow> window;
             return s.CreatePaletteWindow({res, 32600, 32601, {}}, &window);
         }},
        {"GetProjectInfo",
         [](SimHost& s) {
             ProjectInfo info;
             return s.GetProjectInfo(&info);
         }},
        {"GetMainWindow",
         [](SimHost& s) {
             NativeWindowHandle w;
             return s.GetMainWindow(&w);
         }},
        {"GetFrontWindow",
         [](SimHost& s) {
             WindowInfo w;
             return s.GetFrontWindow(&w);
         }},
        {"ChangeFrontWindow", [](SimHost& s) { return s.ChangeFrontWindow({4, {}}); }},
        {"GetProjection3D",
         [](SimHost& s) {
             Projection3D p;
             return s.GetProjection3D(&p);
         }},
        {"SetProjection3D", [](SimHost& s) { return s.SetProjection3D(s.model.startProjection, 0); }},
        {"Redraw3D", [](SimHost& s) { return s.Redraw3D(); }},
        {"GetLayerCombination",
         [](SimHost& s) {
             int32_t i;
             return s.GetLayerCombination(&i);
         }},
        {"SetLayerCombination", [](SimHost& s) { return s.SetLayerCombination(2); }},
        {"ListElements",
         [](SimHost& s) {
             std::vector<HostGuid> list;
             return s.ListElements(8, 10, &list);
         }},
        {"GetElementHeader",
         [walls](SimHost& s) {
             ElementHeader header;
             return s.GetElementHeader(walls.at(0), &header);
         }},
        {"GetCameraElement",
         [cameras](SimHost& s) {
             PerspectiveCamera c;
             int32_t story;
             return s.GetCameraElement(cameras.at(0), &c, &story);
         }},
        {"GetElementBox3D",
         [walls](SimHost& s) {
             Box3D box;
             return s.GetElementBox3D(walls.at(0), &box);
         }},
        {"GetModelExtent3D",
         [](SimHost& s) {
             Box3D box;
             return s.GetModelExtent3D(&box);
         }},
        {"GetStories",
         [](SimHost& s) {
             std::vector<StoryInfo> stories;
             return s.GetStories(&stories);
         }},
        {"GetNavigatorRoot",
         [](SimHost& s) {
             HostGuid root;
             return s.GetNavigatorRoot(2, &root);
         }},
        {"GetNavigatorChildren",
         [](SimHost& s) {
             NavigatorItem root;
             root.guid = s.model.viewMap.item.guid;
             root.mapId = 2;
             std::vector<NavigatorItem> children;
             return s.GetNavigatorChildren(root, &children);
         }},
        {"GetCurrent3DImage",
         [](SimHost& s) {
             s.UserBringToFront(4);
             int32_t option = 0;
             std::unique_ptr<NativeImage> image;
             return s.GetCurrent3DImage(&option, &image);
         }},
        {"SaveFrontWindowPicture",
         [picture](SimHost& s) {
             s.UserBringToFront(4);
             return s.SaveFrontWindowPicture(16, picture, PictureSettings{6});
         }},
        {"NativeImage.Encode",
         [](SimHost& s) {
             s.UserBringToFront(4);
             int32_t option = 0;
             std::unique_ptr<NativeImage> image;
             if (HostError e = s.GetCurrent3DImage(&option, &image)) return e;
             std::vector<uint8_t> png;
             return image->Encode(1, &png);
         }},
        {"NewDatabase", NewCurrentWorksheet},
        {"ChangeWindow", NewCurrentWorksheet},
        {"RunUndoable", [](SimHost& s) { return s.RunUndoable(u"Step", [] { return kHostOk; }); }},
        {"GetPictureDefaults",
         [](SimHost& s) {
             PictureElement element;
             return s.GetPictureDefaults(&element);
         }},
        {"AllocateBlock",
         [](SimHost& s) {
             ElementMemo memo;
             const HostError e = s.AllocateBlock(4, true, &memo.pictureData);
             s.ReleaseMemo(&memo);
             return e;
         }},
        {"CreatePicture", [](SimHost& s) { return PictureInUndoStep(s); }},
        {"ReleaseMemo",
         [](SimHost& s) {
             ElementMemo memo;
             s.AllocateBlock(4, true, &memo.pictureData);
             return s.ReleaseMemo(&memo);
         }},
        {"ZoomToElements", [walls](SimHost& s) { return s.ZoomToElements({walls.at(0)}); }},
    };
}

TEST(SimFailures, EveryOperationFailsOnceOrUntilCleared) {
    Harness h(false);
    h.host().Set3DWindowSize(64, 48);
    const auto calls = ValidCalls(h.host(), h.folders().root());
    constexpr HostError code = static_cast<HostError>(0x8106ABCDu);
    for (const std::string& name : SimHost::OperationNames()) {
        SCOPED_TRACE(name);
        const auto call = calls.find(name);
        ASSERT_NE(call, calls.end()) << "no valid call for this operation";
        ASSERT_EQ(call->second(h.host()), kHostOk);
        h.host().FailOperation(name, code, true);
        EXPECT_EQ(call->second(h.host()), code);
        EXPECT_EQ(call->second(h.host()), kHostOk) << "a once failure is used up";
        h.host().FailOperation(name, code);
        EXPECT_EQ(call->second(h.host()), code);
        EXPECT_EQ(call->second(h.host()), code);
        h.host().ClearFailures();
        EXPECT_EQ(call->second(h.host()), kHostOk);
    }
}

struct WrongArgument {
    const char* what;
    std::string operation;  // whose valid call must pass
    Call call;
    HostError expected = kSimErrBadParameters;
};

TEST(SimArgumentChecks, EachWrongArgumentFailsTheCallWithTheHostsCode) {
    Harness h(false);
    SimHost& host = h.host();
    host.Set3DWindowSize(64, 48);
    const auto valid = ValidCalls(host, h.folders().root());
    const AddonResources* res = host.resources;
    const ModuleId module{res->developerId, res->localId};
    const uint32_t tovr = FourCharCode("TOVR");
    const MenuHandler menu = host.menuHandler;
    const ModuleCommandHandler command = host.moduleCommandHandler;
    const PaletteControlHandler control = host.paletteControl;
    const int32_t refId = host.paletteRefId;
    const HostGuid guid = host.paletteGuid;
    const std::u16string picture = (h.folders().root() / "wrong.png").u16string();
    const std::vector<WrongArgument> cases = {
        {"service version 0", "RegisterSupportedService", [&](SimHost& s) { return s.RegisterSupportedService(tovr, 0); }},
        {"service code not four printable characters", "RegisterSupportedService",
         [&](SimHost& s) { return s.RegisterSupportedService(0x54001252u, 1); }},
        {"menu prompt list missing", "RegisterMenu", [&](SimHost& s) { return s.RegisterMenu(res, 32500, 32999, 0, 0); }},
        {"menu position unknown", "RegisterMenu", [&](SimHost& s) { return s.RegisterMenu(res, 32500, 0, 13, 0); }},
        {"menu position negative", "RegisterMenu", [&](SimHost& s) { return s.RegisterMenu(res, 32500, 0, -1, 0); }},
        {"menu flags unknown", "RegisterMenu", [&](SimHost& s) { return s.RegisterMenu(res, 32500, 0, 0, 0x100); }},
        {"menu strings missing", "RegisterMenu", [&](SimHost& s) { return s.RegisterMenu(res, 32501, 0, 0, 0); },
         kHostErrNotFound},
        {"menu handler for an unregistered menu", "InstallMenuHandler",
         [&](SimHost& s) { return s.InstallMenuHandler(32501, menu); }},
        {"module command version not registered", "InstallModuleCommandHandler",
         [&](SimHost& s) { return s.InstallModuleCommandHandler(tovr, 2, command); }},
        {"module command code not registered", "InstallModuleCommandHandler",
         [&](SimHost& s) { return s.InstallModuleCommandHandler(FourCharCode("TOVX"), 1, command); }},
        {"palette flags unknown", "RegisterPalette",
         [&](SimHost& s) { return s.RegisterPalette(refId, control, 1015 | 0x400, guid); }},
        {"palette without GUID", "RegisterPalette", [&](SimHost& s) { return s.RegisterPalette(refId, control, 1015, {}); }},
        {"project events unknown", "CatchProjectEvents", [&](SimHost& s) { return s.CatchProjectEvents(0x807, NoEvents); }},
        {"project events without handler", "CatchProjectEvents",
         [&](SimHost& s) { return s.CatchProjectEvents(7, nullptr); }},
        {"event-loop call version", "CallFromEventLoop",
         [&](SimHost& s) { return s.CallFromEventLoop(module, tovr, 2, true); }},
        {"event-loop call not silent", "CallFromEventLoop",
         [&](SimHost& s) { return s.CallFromEventLoop(module, tovr, 1, false); }},
        {"event-loop call command", "CallFromEventLoop",
         [&](SimHost& s) { return s.CallFromEventLoop(module, FourCharCode("TOVX"), 1, true); }},
        {"event-loop call of another module", "CallFromEventLoop",
         [&](SimHost& s) { return s.CallFromEventLoop({module.developerId + 1, module.localId}, tovr, 1, true); },
         kHostErrNotFound},
        {"worksheet without a name", "NewDatabase",
         [](SimHost& s) {
             DatabaseInfo sheet{kDatabaseWorksheet, {}, u"", u"TO"};
             return s.NewDatabase(&sheet);
         }},
        {"worksheet name of 256 units", "NewDatabase",
         [](SimHost& s) {
             DatabaseInfo sheet{kDatabaseWorksheet, {}, std::u16string(256, u'w'), u"TO"};
             return s.NewDatabase(&sheet);
         }},
        {"database of another type", "NewDatabase",
         [](SimHost& s) {
             DatabaseInfo sheet{3, {}, u"Sheet", u"TO"};
             return s.NewDatabase(&sheet);
         }},
        {"unknown worksheet", "ChangeWindow",
         [](SimHost& s) { return s.ChangeWindow({kDatabaseWorksheet, SimGuid("no such sheet")}); }, kHostErrNotFound},
        {"undo step without a name", "RunUndoable", [](SimHost& s) { return s.RunUndoable(u"", [] { return kHostOk; }); }},
        {"empty block", "AllocateBlock",
         [](SimHost& s) {
             HostBlock block;
             return s.AllocateBlock(0, true, &block);
         }},
        {"picture format 3", "CreatePicture",
         [](SimHost& s) { return PictureInUndoStep(s, [](PictureElement& e, ElementMemo&) { e.formatCode = 3; }); }},
        {"picture box of no width", "CreatePicture",
         [](SimHost& s) { return PictureInUndoStep(s, [](PictureElement& e, ElementMemo&) { e.xMax = e.xMin; }); }},
        {"picture name of 256 units", "CreatePicture",
         [](SimHost& s) {
             return PictureInUndoStep(s, [](PictureElement& e, ElementMemo&) { e.name = std::u16string(256, u'p'); });
         }},
        {"picture memo without its block", "CreatePicture",
         [](SimHost& s) { return PictureInUndoStep(s, [](PictureElement&, ElementMemo& m) { m.pictureData.id += 100; }); }},
        {"JPEG code for PNG bytes", "CreatePicture",
         [](SimHost& s) {
             return PictureInUndoStep(s, [](PictureElement& e, ElementMemo&) { e.formatCode = kPictureFormatJpeg; });
         },
         kHostErrUnreadableImage},
        {"picture outside an undoable command", "CreatePicture",
         [](SimHost& s) {
             PictureElement element;
             HostGuid created;
             return s.CreatePicture(element, ElementMemo{}, &created);
         },
         kHostErrRefused},
        {"zoom to nothing", "ZoomToElements", [](SimHost& s) { return s.ZoomToElements({}); }},
        {"list filter flags 0", "ListElements",
         [&](SimHost& s) {
             std::vector<HostGuid> l;
             return s.ListElements(1, 0, &l);
         }},
        {"list filter flags 11", "ListElements",
         [&](SimHost& s) {
             std::vector<HostGuid> l;
             return s.ListElements(1, 11, &l);
         }},
        {"list of an unknown type", "ListElements",
         [&](SimHost& s) {
             std::vector<HostGuid> l;
             return s.ListElements(0, 10, &l);
         }},
        {"projection option 1", "SetProjection3D",
         [&](SimHost& s) { return s.SetProjection3D(s.model.startProjection, 1); }},
        {"perspective camera looking nowhere", "SetProjection3D",
         [&](SimHost& s) {
             Projection3D p = s.model.startProjection;
             p.camera.targetX = p.camera.cameraX, p.camera.targetY = p.camera.cameraY;
             p.camera.targetZ = p.camera.cameraZ;
             return s.SetProjection3D(p, 0);
         }},
        {"3D image option 1", "GetCurrent3DImage",
         [&](SimHost& s) {
             int32_t option = 1;
             std::unique_ptr<NativeImage> image;
             return s.GetCurrent3DImage(&option, &image);
         }},
        {"3D image without option", "GetCurrent3DImage",
         [&](SimHost& s) {
             std::unique_ptr<NativeImage> image;
             return s.GetCurrent3DImage(nullptr, &image);
         }},
        {"3D image encoding 2", "NativeImage.Encode",
         [&](SimHost& s) {
             s.UserBringToFront(4);
             int32_t option = 0;
             std::unique_ptr<NativeImage> image;
             if (HostError e = s.GetCurrent3DImage(&option, &image)) return e;
             std::vector<uint8_t> bytes;
             return image->Encode(2, &bytes);
         }},
        {"picture file type 15", "SaveFrontWindowPicture",
         [&](SimHost& s) {
             s.UserBringToFront(4);
             return s.SaveFrontWindowPicture(15, picture, PictureSettings{6});
         }},
        {"picture colour depth 5", "SaveFrontWindowPicture",
         [&](SimHost& s) {
             s.UserBringToFront(4);
             return s.SaveFrontWindowPicture(16, picture, PictureSettings{5});
         }},
        {"layer combination 0", "SetLayerCombination", [&](SimHost& s) { return s.SetLayerCombination(0); }},
        {"front window of an unknown kind", "ChangeFrontWindow",
         [&](SimHost& s) { return s.ChangeFrontWindow({99, {}}); }},
        {"navigator map 3", "GetNavigatorRoot",
         [&](SimHost& s) {
             HostGuid root;
             return s.GetNavigatorRoot(3, &root);
         }},
    };
    for (const WrongArgument& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(host), c.expected);
        EXPECT_EQ(valid.at(c.operation)(host), kHostOk) << "the right arguments pass";
    }
    EXPECT_FALSE(std::filesystem::exists(h.folders().root() / "wrong.png"));
}

TEST(SimArgumentChecks, TheAddonsOwnCallsPassAndARefusedEventLoopCallIsReported) {
    // Start registers the service, the menu, both handlers and the palette: each with the
    // arguments the host checks.
    Harness h(true);
    EXPECT_EQ(h.host().supportedServices.size(), 1u);
    EXPECT_TRUE(h.host().paletteRegistered);
    EXPECT_NE(h.host().projectEventHandler, nullptr);
    const AddonResources* res = h.host().resources;
    const ModuleId module{res->developerId, res->localId};
    EXPECT_EQ(h.host().CallFromEventLoop(module, FourCharCode("TOVR"), 1, true), kHostOk);
    EXPECT_EQ(h.host().pendingEventLoopCalls, 1);
    h.host().refuseEventLoopCalls = kHostErrRefused;
    EXPECT_EQ(h.host().CallFromEventLoop(module, FourCharCode("TOVR"), 1, true), kHostErrRefused);
    EXPECT_EQ(h.host().pendingEventLoopCalls, 1);
}

}  // namespace
