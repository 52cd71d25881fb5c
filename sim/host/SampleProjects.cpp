// The sample projects: a small two-storey house with cameras inside and outside, and the
// variants chosen by name (an empty model, one with only stairs and zones, a 3D window of one
// colour, and navigator trees too deep and too large to walk whole).
#include <cmath>
#include <cstdio>
#include <numbers>

#include "platform/Utf.h"
#include "sim/host/SimModel.h"

namespace {
// Materials of the 3D window, 0xRRGGBB.
constexpr uint32_t kPlaster = 0xE8DCC4, kConcrete = 0xA8A8A4, kTiles = 0xB5523B, kGlass = 0x78AACF,
                   kTimber = 0x7A5232, kSteel = 0x5E6A75, kFabric = 0x3F7F5A, kBrass = 0xE0B040, kLawn = 0x6FA24A,
                   kCurtainGlass = 0x4C7FA8, kCanvas = 0xF2F2EA, kStone = 0x9C8F80, kZoneTint = 0xFFE0A0;

class Builder {
public:
    explicit Builder(SimModel& model) : m_(model) {}

    SimElement& Element(const std::string& key, int32_t type, int32_t story, uint32_t colour,
                        std::vector<Box3D> parts) {
        SimElement e;
        e.guid = SimGuid(m_.name + "/element/" + key);
        e.typeCode = type;
        e.storyIndex = story;
        e.colour = colour;
        e.parts = std::move(parts);
        m_.elements.push_back(std::move(e));
        return m_.elements.back();
    }

    // A camera element: position and target heights relative to its story.
    HostGuid Camera(const std::string& key, int32_t story, double x, double y, double z, double tx, double ty,
                    double tz, double viewAngle = 60) {
        SimElement& e = Element("camera/" + key, SimType::kCamera, story, 0, {});
        e.camera = PerspectiveCamera{x, y, z, tx, ty, tz, viewAngle, 0, std::hypot(tx - x, ty - y, tz - z)};
        return e.guid;
    }

    static SimNavigatorNode Item(const std::string& key, int32_t type, const std::string& name,
                                 const HostGuid& camera = {}, const std::string& idText = "",
                                 const std::string& reference = "") {
        SimNavigatorNode n;
        n.item.guid = SimGuid("navigator/" + key);
        n.item.cameraGuid = camera;
        n.item.itemType = type;
        n.item.name = Utf8ToUtf16(name);
        n.item.idText = Utf8ToUtf16(idText);
        n.item.reference = reference;
        return n;
    }

    void Basics(const std::string& name, const std::vector<SimStory>& stories) {
        m_ = SimModel{};
        m_.name = name;
        m_.stories = stories;
        m_.windows = {{{SimWindowKind::kFloorPlan, SimGuid(name + "/window/plan")}, "Planta"},
                      {{SimWindowKind::k3D, SimGuid(name + "/window/3d")}, "3D"},
                      {{SimWindowKind::kWorksheet, SimGuid(name + "/window/worksheet-1")}, "Detalhe de fachada"},
                      {{SimWindowKind::kWorksheet, SimGuid(name + "/window/worksheet-2")}, "Notas"}};
        // Every layer; the presentation without zones and furniture; the structure alone, without
        // openings, furniture, the site or the garden.
        m_.layerCombinations = {{"Todas as camadas", {}},
                                {"Apresentação", {SimType::kZone, SimType::kObject, SimType::kLamp}},
                                {"Estrutura",
                                 {SimType::kWindow, SimType::kDoor, SimType::kObject, SimType::kLamp, SimType::kMesh,
                                  SimType::kMorph, SimType::kSkylight, SimType::kCurtainWall, SimType::kShell,
                                  SimType::kStair, SimType::kZone}}};
        m_.projectMap = Item(name + "/map1", SimNavType::kRoot, name);
        m_.viewMap = Item(name + "/map2", SimNavType::kRoot, "Mapa de vistas");
        for (const SimStory& s : stories)
            m_.projectMap.children.push_back(
                Item(name + "/story/" + std::to_string(s.index), SimNavType::kStory, s.name));
        // The 3D window starts on a general view from the south-west, above the ground.
        m_.startProjection.perspective = true;
        m_.startProjection.camera = PerspectiveCamera{-11, -13, 7, 5, 4, 2, 60, 0, 0};
    }

    void Stairs() {
        std::vector<Box3D> steps;
        for (int i = 0; i < 12; ++i)
            steps.push_back({7.6, 5.2 + 0.2 * i, 0, 9.4, 5.2 + 0.2 * (i + 1), 0.25 * (i + 1)});
        Element("stair", SimType::kStair, 0, kStone, steps);
    }

    void Zones() {
        Element("zone/sala", SimType::kZone, 0, kZoneTint, {{0.25, 0.25, 0, 5, 7.75, 2.8}});
        Element("zone/cozinha", SimType::kZone, 0, kZoneTint, {{5.15, 0.25, 0, 9.75, 7.75, 2.8}});
        Element("zone/quarto", SimType::kZone, 1, kZoneTint, {{0.25, 0.25, 3, 6.75, 7.75, 5.8}});
    }

    // The house: ground floor 10 x 8 m, an upper floor 7 x 8 m with a terrace, a roof, windows,
    // a door, a canopy, a pergola, furniture, a lawn and a garden sculpture.
    void House() {
        // Slabs and walls.
        Element("slab/ground", SimType::kSlab, 0, kConcrete, {{0, 0, -0.3, 10, 8, 0}});
        Element("slab/upper", SimType::kSlab, 1, kConcrete, {{0, 0, 2.8, 10, 8, 3}});
        const double storyZ[2] = {0, 3};
        const double width[2] = {10, 7};
        for (int s = 0; s < 2; ++s) {
            const double z0 = storyZ[s], z1 = storyZ[s] + 2.8, w = width[s];
            const std::string p = "wall/" + std::to_string(s) + "/";
            Element(p + "south", SimType::kWall, s, kPlaster, {{0, 0, z0, w, 0.25, z1}});
            Element(p + "north", SimType::kWall, s, kPlaster, {{0, 7.75, z0, w, 8, z1}});
            Element(p + "west", SimType::kWall, s, kPlaster, {{0, 0.25, z0, 0.25, 7.75, z1}});
            Element(p + "east", SimType::kWall, s, kPlaster, {{w - 0.25, 0.25, z0, w, 7.75, z1}});
        }
        Element("wall/0/inner", SimType::kWall, 0, kPlaster, {{5, 0.25, 0, 5.15, 7.75, 2.8}});
        Element("roof/main", SimType::kRoof, 1, kTiles, {{-0.4, -0.4, 5.8, 7.4, 8.4, 6.1}});
        Element("roof/top", SimType::kRoof, 1, kTiles, {{0.8, 1.2, 6.1, 5.8, 6.8, 6.7}});
        // Openings, proud of the walls on both faces.
        Element("window/0/s1", SimType::kWindow, 0, kGlass, {{1.2, -0.06, 0.9, 3.4, 0.31, 2.2}});
        Element("window/0/s2", SimType::kWindow, 0, kGlass, {{6.2, -0.06, 0.9, 8.8, 0.31, 2.2}});
        Element("window/0/n1", SimType::kWindow, 0, kGlass, {{2, 7.69, 0.9, 4, 8.06, 2.2}});
        Element("window/1/s1", SimType::kWindow, 1, kGlass, {{1.2, -0.06, 3.9, 2.8, 0.31, 5.2}});
        Element("window/1/s2", SimType::kWindow, 1, kGlass, {{4, -0.06, 3.9, 5.6, 0.31, 5.2}});
        Element("window/1/e1", SimType::kWindow, 1, kGlass, {{6.69, 2.5, 3.9, 7.06, 5.5, 5.2}});
        Element("door/front", SimType::kDoor, 0, kTimber, {{4, -0.07, 0, 4.9, 0.32, 2.2}});
        Element("door/terrace", SimType::kDoor, 1, kTimber, {{6.69, 6, 3, 7.06, 6.9, 5.2}});
        Element("curtainwall/west", SimType::kCurtainWall, 0, kCurtainGlass, {{-0.08, 2, 0.2, 0.33, 6, 2.6}});
        Element("shell/canopy", SimType::kShell, 0, kCanvas, {{3.4, -1.4, 2.35, 5.5, 0.25, 2.5}});
        Element("skylight/roof", SimType::kSkylight, 1, kGlass, {{2, 3, 6.7, 3.2, 4.2, 6.85}});
        // The pergola east of the house.
        Element("column/1", SimType::kColumn, 0, kSteel, {{11.5, 1, 0, 11.8, 1.3, 2.6}});
        Element("column/2", SimType::kColumn, 0, kSteel, {{11.5, 6.7, 0, 11.8, 7, 2.6}});
        Element("beam/1", SimType::kBeam, 0, kTimber, {{10, 1, 2.6, 11.8, 1.3, 2.85}});
        Element("beam/2", SimType::kBeam, 0, kTimber, {{10, 6.7, 2.6, 11.8, 7, 2.85}});
        Element("beam/3", SimType::kBeam, 0, kTimber, {{11.5, 1, 2.85, 11.8, 7, 3.05}});
        // Furniture and light.
        Element("object/sofa", SimType::kObject, 0, kFabric, {{0.8, 0.8, 0, 3.2, 1.8, 0.45}, {0.8, 0.8, 0.45, 3.2, 1.1, 0.85}});
        Element("object/table", SimType::kObject, 0, kTimber, {{6.2, 3, 0.7, 8, 4.4, 0.78}, {6.3, 3.1, 0, 6.4, 3.2, 0.7}});
        Element("lamp/living", SimType::kLamp, 0, kBrass, {{2.4, 4, 2.3, 2.8, 4.4, 2.8}});
        // Outside: the lawn and a sculpture.
        Element("mesh/lawn", SimType::kMesh, 0, kLawn, {{-4, 10, 0, 16, 16, 0.25}});
        Element("morph/sculpture", SimType::kMorph, 0, kSteel, {{13, 3, 0, 13.8, 3.8, 1.2}, {13.2, 3.2, 1.2, 13.6, 3.6, 2}});
        Stairs();
        Zones();
    }

    // The building's box as the add-on computes it: walls, slabs, roofs, columns, curtain walls
    // and shells.
    Box3D BuildingBox() const {
        SimModel only;
        for (const SimElement& e : m_.elements)
            if (e.typeCode == SimType::kWall || e.typeCode == SimType::kSlab || e.typeCode == SimType::kRoof ||
                e.typeCode == SimType::kColumn || e.typeCode == SimType::kCurtainWall ||
                e.typeCode == SimType::kShell)
                only.elements.push_back(e);
        Box3D box;
        only.Extent(&box);
        return box;
    }

    // The house's navigator: cameras inside and outside, camera sets, views without cameras,
    // a camera in both maps, two views of the same name.
    void HouseNavigator() {
        const std::string n = m_.name + "/";
        const HostGuid living = Camera("sala", 0, 1, 1.2, 1.6, 4.5, 5.5, 1.2, 70);
        const HostGuid bedroom = Camera("quarto", 1, 1, 7, 1.6, 5.5, 2, 1.3, 70);
        const HostGuid north = Camera("fachada-norte", 0, 5, 26, 1.7, 5, 4, 2.6);
        const HostGuid entrance = Camera("entrada", 0, 4.5, -12, 1.7, 4.5, 4, 2.2);
        const HostGuid garden = Camera("jardim", 0, 20, -8, 2, 5, 4, 2.5);
        const HostGuid street = Camera("rua", 0, -14, 2, 1.7, 5, 4, 2.5);
        const HostGuid kitchen1 = Camera("cozinha-1", 0, 6, 1, 1.6, 9, 6.5, 1.1);
        const HostGuid kitchen2 = Camera("cozinha-2", 0, 9.4, 4.6, 1.6, 5.5, 1, 0.9);
        const HostGuid aerial = Camera("aerea", 0, -16, -16, 22, 5, 4, 0);
        // Exactly on the building box's east face, looking south-west along the house.
        const Box3D box = BuildingBox();
        const HostGuid pergola = Camera("pergola", 0, box.xMax, 4, 1.6, 4, -8, 1.5);

        SimNavigatorNode interiors = Item(n + "set/interiores", SimNavType::kCameraSet, "Interiores");
        interiors.children = {Item(n + "m1/sala", SimNavType::kCamera, "Sala de estar", living, "C-01", "C1"),
                              Item(n + "m1/quarto", SimNavType::kCamera, "Quarto", bedroom, "C-02", "C2")};
        SimNavigatorNode walk = Item(n + "set/percurso", SimNavType::kCameraSet, "Percurso");
        walk.children = {Item(n + "m1/entrada", SimNavType::kCamera, "Entrada", entrance, "P-01", "P1"),
                         Item(n + "m1/jardim", SimNavType::kCamera, "Jardim", garden, "P-02", "P2"),
                         Item(n + "m1/rua", SimNavType::kCamera, "Vista P3", street, "P-03", "P3")};
        auto& map1 = m_.projectMap.children;
        map1.push_back(Item(n + "m1/perspectiva", SimNavType::kPerspective, "Perspectiva salva"));
        map1.push_back(Item(n + "m1/axonometria", SimNavType::kAxonometry, "Axonometria genérica"));
        map1.push_back(std::move(interiors));
        map1.push_back(std::move(walk));
        map1.push_back(Item(n + "m1/fachada-norte", SimNavType::kCamera, "Fachada norte", north, "F-01", "F1"));

        SimNavigatorNode saved = Item(n + "folder/vistas", SimNavType::kFolder, "Vistas salvas");
        saved.children = {Item(n + "m2/fachada-norte", SimNavType::kCamera, "Fachada norte", north, "F-01", "F1"),
                          Item(n + "m2/kitchen-1", SimNavType::kCamera, "Kitchen", kitchen1, "K-01", "K1"),
                          Item(n + "m2/kitchen-2", SimNavType::kCamera, "Kitchen", kitchen2, "K-02", "K2"),
                          Item(n + "m2/perspectiva", SimNavType::kPerspective, "Perspectiva salva"),
                          Item(n + "m2/axonometria", SimNavType::kAxonometry, "Axonometria"),
                          Item(n + "m2/aerea", SimNavType::kCamera, "", aerial, "V-07", "V7"),
                          Item(n + "m2/pergola", SimNavType::kCamera, "Pérgola", pergola, "V-08", "V8")};
        m_.viewMap.children.push_back(std::move(saved));
    }

    // Cameras on a circle around the house, looking at it.
    HostGuid RingCamera(const std::string& key, int i, int count) {
        const double a = 2 * std::numbers::pi * i / count;
        return Camera(key, 0, 5 + 22 * std::cos(a), 4 + 22 * std::sin(a), 1.7 + (i % 5), 5, 4, 2);
    }

    // A chain of folders twelve deep holding a camera each, and a folder of 130 cameras.
    void ManyViews() {
        const std::string n = m_.name + "/";
        SimNavigatorNode deepest;
        for (int depth = 12; depth >= 1; --depth) {
            SimNavigatorNode folder = Item(n + "deep/" + std::to_string(depth), SimNavType::kFolder,
                                           "Nível " + std::to_string(depth));
            const std::string name = "Profundidade " + std::to_string(depth);
            folder.children.push_back(Item(n + "deep/camera/" + std::to_string(depth), SimNavType::kCamera, name,
                                           RingCamera("deep/" + std::to_string(depth), depth, 12)));
            if (depth < 12) folder.children.push_back(std::move(deepest));
            deepest = std::move(folder);
        }
        m_.viewMap.children.push_back(std::move(deepest));
        SimNavigatorNode many = Item(n + "many", SimNavType::kFolder, "Estudo de ângulos");
        for (int i = 1; i <= 130; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "Ângulo %03d", i);
            many.children.push_back(Item(n + "many/" + std::to_string(i), SimNavType::kCamera, name,
                                         RingCamera("many/" + std::to_string(i), i, 130)));
        }
        m_.viewMap.children.push_back(std::move(many));
        // The same cameras seen from the project map too, deeper than the walk goes.
        SimNavigatorNode chain = Item(n + "m1/deep/9", SimNavType::kFolder, "Nível 9");
        for (int depth = 8; depth >= 1; --depth) {
            SimNavigatorNode folder = Item(n + "m1/deep/" + std::to_string(depth), SimNavType::kFolder,
                                           "Nível " + std::to_string(depth));
            folder.children.push_back(std::move(chain));
            chain = std::move(folder);
        }
        m_.projectMap.children.push_back(std::move(chain));
    }

private:
    SimModel& m_;
};

const std::vector<SimStory> kTwoStoreys = {{0, 0, "0. Térreo"}, {1, 3, "1. Pavimento superior"}};
}  // namespace

bool MakeSampleProject(std::string_view name, SimModel* model) {
    Builder b(*model);
    if (name == "house") {
        b.Basics("Casa exemplo", kTwoStoreys);
        b.House();
        b.HouseNavigator();
    } else if (name == "empty") {
        b.Basics("Projeto vazio", {{0, 0, "0. Térreo"}});
    } else if (name == "stairs-only") {
        b.Basics("Escada", kTwoStoreys);
        b.Stairs();
        b.Zones();
        auto& views = model->viewMap.children;
        views.push_back(Builder::Item("Escada/m2/escada", SimNavType::kCamera, "Escada",
                                      b.Camera("escada", 0, 3, 2, 1.6, 8.5, 6.5, 1.5), "E-01", "E1"));
    } else if (name == "uniform") {
        b.Basics("Casa uniforme", kTwoStoreys);
        b.House();
        b.HouseNavigator();
        model->uniform = true;
        model->uniformColour = 0xD9D9D9;
    } else if (name == "many-views") {
        b.Basics("Muitas vistas", kTwoStoreys);
        b.House();
        b.ManyViews();
    } else {
        return false;
    }
    return true;
}

const std::vector<std::string>& SampleProjectNames() {
    static const std::vector<std::string> names = {"house", "empty", "stairs-only", "uniform", "many-views"};
    return names;
}
