// The host contract's world in the simulated host: the sample house loaded as a saved project,
// the contract's module loaded through the host's entry points, one host for the whole program.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "host/ContractHost.h"
#include "platform/Utf.h"
#include "sim/host/SimHost.h"
#include "support/ScratchFolders.h"

namespace {

const AddonResources& SimResources() {
    static const AddonResources resources = [] {
        AddonResources r;
        r.version = "1.0.0.0";
        r.stringLists = {{kContractMenuResId, {"Host contract", "Host contract", "Runs the host contract"}}};
        r.dialogs = {{kContractDialogId, "palette", "Host contract", 300, 400, "", {{1, "browser", 0, 0, 300, 400, ""}}}};
        r.moduleIdResource = kContractMenuResId;
        r.developerId = 0x4F565241;
        r.localId = 0x434E5452;
        return r;
    }();
    return resources;
}

int32_t CheckEnvironment(AddonEnvironment* environment) {
    std::snprintf(environment->name, sizeof environment->name, "Host contract");
    return kAddonLoadNormal;
}
HostError FreeData() { return kHostOk; }

void GetExports(AddonExports* exports) {
    exports->checkEnvironment = CheckEnvironment;
    exports->registerInterface = ContractRegisterInterface;
    exports->initialize = ContractInitialize;
    exports->freeData = FreeData;
    exports->resources = &SimResources();
}
void SetImports(const HostImports*) {}

class SimWorld final : public ContractWorld {
public:
    SimWorld() : host({GetExports, SetImports}) {
        host.project.untitled = false;
        host.project.name = "Casa exemplo";
        host.project.path = (folders.root() / "Casa exemplo.pln").string();
    }

    ScratchFolders folders;
    SimHost host;
    bool loaded = false;

    const AddonResources& Resources() override { return SimResources(); }
    void Turn() override { host.Turn(); }
    bool RegistersAfterLoad() override { return true; }
    std::string LanguageCode() override { return host.languageCode; }
    ProjectInfo Project() override {
        return {false, true, Utf8ToUtf16(host.project.path), true, Utf8ToUtf16(host.project.name)};
    }
    WindowInfo PlanWindow() override { return host.model.FindWindow(SimWindowKind::kFloorPlan)->info; }
    WindowInfo Window3D() override { return host.model.FindWindow(SimWindowKind::k3D)->info; }
    int32_t LayerCombinations() override { return static_cast<int32_t>(host.model.layerCombinations.size()); }
    std::vector<StoryInfo> Stories() override {
        std::vector<StoryInfo> stories;
        for (const SimStory& s : host.model.stories) stories.push_back({s.index, s.level});
        return stories;
    }
    std::vector<int32_t> ElementTypes() override {
        return {SimType::kWall,   SimType::kColumn, SimType::kBeam,        SimType::kWindow, SimType::kDoor,
                SimType::kObject, SimType::kLamp,   SimType::kSlab,        SimType::kRoof,   SimType::kMesh,
                SimType::kZone,   SimType::kCamera, SimType::kCurtainWall, SimType::kShell,  SimType::kSkylight,
                SimType::kMorph,  SimType::kStair};
    }
    std::vector<ContractElement> ElementsOfType(int32_t typeCode) override {
        std::vector<ContractElement> elements;
        for (const SimElement& e : host.model.elements) {
            if (e.typeCode != typeCode) continue;
            ContractElement c{e.guid, e.typeCode, e.storyIndex, {}};
            SimModel::ElementBox(e, &c.box);
            elements.push_back(c);
        }
        return elements;
    }
    ContractCamera Camera() override {
        const SimElement* e = host.model.FindElement(SimGuid(host.model.name + "/element/camera/fachada-norte"));
        return e ? ContractCamera{e->guid, e->storyIndex, e->camera} : ContractCamera{};
    }
    ContractView NestedView() override {
        return {2, {u"Vistas salvas"}, SimNavType::kCamera, u"Pérgola", u"V-08", "V8",
                SimGuid(host.model.name + "/element/camera/pergola")};
    }
    std::optional<ContractWorksheet> Worksheet(const HostGuid& database) override {
        const SimWorksheet* sheet = host.model.FindWorksheet(database);
        if (sheet == nullptr) return std::nullopt;
        ContractWorksheet w{sheet->name, sheet->refId, {}};
        for (const SimPictureElement& p : sheet->pictures) {
            const PictureElement& s = p.settings;
            w.pictures.push_back({s.name, s.xMin, s.yMin, s.xMax, s.yMax, s.formatCode, p.bytes.size()});
        }
        return w;
    }
    std::u16string ScratchFolder() override {
        return (folders.root() / "").u16string();
    }
};

SimWorld* gWorld = nullptr;

SimWorld& Sim() {
    static bool loading = false;
    if (gWorld == nullptr) gWorld = new SimWorld;
    // The load calls back into ContractHost(), which answers the host being loaded.
    if (!loading) {
        loading = true;
        gWorld->loaded = gWorld->host.Start();
    }
    return *gWorld;
}

// Releases the module and removes the scratch folder when the program's cases are done.
class SimWorldEnvironment final : public ::testing::Environment {
public:
    void TearDown() override {
        delete gWorld;
        gWorld = nullptr;
    }
};
[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new SimWorldEnvironment);

}  // namespace

HostApi& ContractHost() { return Sim().host; }
ContractWorld& World() { return Sim(); }
