// The simulated project's model: stories, elements with 3D bodies, window records, layer
// combinations, the two navigator maps and the 3D window's starting camera. Plain data with a
// few look-ups; the sample projects fill it (SampleProjects.cpp), the host reads it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/HostApi.h"

// Element type codes of the host.
namespace SimType {
inline constexpr int32_t kWall = 1, kColumn = 2, kBeam = 3, kWindow = 4, kDoor = 5, kObject = 6, kLamp = 7,
                         kSlab = 8, kRoof = 9, kMesh = 10, kZone = 17, kCamera = 26, kCurtainWall = 37, kShell = 43,
                         kSkylight = 44, kMorph = 45, kStair = 47;
}

// Window kinds of the host's window records.
namespace SimWindowKind {
inline constexpr int32_t kFloorPlan = 1, k3D = 4, kWorksheet = 7;
}

// Navigator item types of the host.
namespace SimNavType {
inline constexpr int32_t kRoot = 0, kStory = 1, kPerspective = 5, kAxonometry = 6, kCamera = 10, kCameraSet = 11,
                         kFolder = 25;
}

// The host's error code for arguments it does not accept.
inline constexpr HostError kSimErrBadParameters = static_cast<HostError>(0x81060067u);
// The host's error code for a failure of its own, such as a file it cannot write.
inline constexpr HostError kSimErrGeneral = static_cast<HostError>(0x81060001u);

// A stable GUID made from a key, so that a sample project has the same GUIDs in every run.
HostGuid SimGuid(std::string_view key);

struct SimStory {
    int32_t index = 0;
    double level = 0;
    std::string name;
};

struct SimElement {
    HostGuid guid;
    int32_t typeCode = 0;
    int32_t storyIndex = 0;
    // What the 3D window draws, in model coordinates (metres, z absolute); the element's
    // bounding box is the union of its parts. Cameras and zones draw nothing.
    std::vector<Box3D> parts;
    uint32_t colour = 0xFFFFFF;  // 0xRRGGBB
    // Cameras only: the perspective camera with both heights relative to the story's level.
    PerspectiveCamera camera;
};

struct SimWindowRecord {
    WindowInfo info;
    std::string name;
};

struct SimNavigatorNode {
    NavigatorItem item;  // the map id is filled in when the host hands the item out
    std::vector<SimNavigatorNode> children;
};

// A picture element on a worksheet: its settings as created and its own copy of the image.
struct SimPictureElement {
    HostGuid guid;
    PictureElement settings;
    std::vector<uint8_t> bytes;
};

struct SimWorksheet {
    HostGuid guid;
    std::u16string name;
    std::u16string refId;
    std::vector<SimPictureElement> pictures;
};

// A layer combination: its name and the element types whose layers it hides.
struct SimLayerCombination {
    std::string name;
    std::vector<int32_t> hiddenTypes;
    bool Hides(int32_t typeCode) const;
};

struct SimModel {
    std::string name;
    std::vector<SimStory> stories;
    std::vector<SimElement> elements;
    std::vector<SimWindowRecord> windows;  // the floor plan and the 3D window first
    std::vector<SimLayerCombination> layerCombinations;  // indexes start at 1
    SimNavigatorNode projectMap, viewMap;        // maps 1 and 2
    Projection3D startProjection;
    std::vector<SimWorksheet> worksheets;  // in the order of their creation
    // A 3D window that draws this one colour (0xRRGGBB) whatever it shows, when set.
    bool uniform = false;
    uint32_t uniformColour = 0;

    const SimElement* FindElement(const HostGuid& guid) const;
    const SimStory* FindStory(int32_t index) const;
    const SimWindowRecord* FindWindow(int32_t kind) const;
    // The combination of that index, or null.
    const SimLayerCombination* FindLayerCombination(int32_t index) const;
    SimWorksheet* FindWorksheet(const HostGuid& guid);
    // The map (1 or 2) and node of a navigator item, or null.
    const SimNavigatorNode* FindNavigatorItem(const HostGuid& guid, int32_t* mapId) const;
    const SimNavigatorNode* NavigatorMap(int32_t mapId) const;
    // Bounding box of one element (its parts' union); false when it draws nothing.
    static bool ElementBox(const SimElement& element, Box3D* box);
    // Union of every drawn element's box; false when nothing is drawn.
    bool Extent(Box3D* box) const;
    // Removes an element, as deleting it in the host does; false when there is none.
    bool DeleteElement(const HostGuid& guid);
};

// The sample projects by name: "house" (the default), "empty", "stairs-only", "uniform" and
// "many-views". False for any other name.
bool MakeSampleProject(std::string_view name, SimModel* model);
const std::vector<std::string>& SampleProjectNames();
