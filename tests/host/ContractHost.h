// The host contract's setup: the host under test, the world that says what its open project
// holds, and the module the suite runs as. The suite uses nothing else, so that it runs the same
// against the simulated host (ContractSim.cpp) and inside the real host, where the binding's
// author implements ContractHost() and ContractWorld for a test project of their own.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/AddonResources.h"
#include "host/HostApi.h"

// An element the project holds, with what the host must answer about it.
struct ContractElement {
    HostGuid guid;
    int32_t typeCode = 0;
    int32_t storyIndex = 0;
    Box3D box;  // its 3D box, model units
};

// A camera element: its perspective record (heights relative to its story) and its story.
struct ContractCamera {
    HostGuid guid;
    int32_t storyIndex = 0;
    PerspectiveCamera camera;
};

// A navigator item that shows a camera, and the folders above it, by name, from the map's root.
struct ContractView {
    int32_t mapId = 0;
    std::vector<std::u16string> folders;
    int32_t itemType = 0;
    std::u16string name, idText;
    std::string reference;
    HostGuid cameraGuid;
};

// A picture element on a worksheet, as the host keeps it.
struct ContractPicture {
    std::u16string name;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    int32_t formatCode = 0;
    size_t bytes = 0;
};

struct ContractWorksheet {
    std::u16string name, refId;
    std::vector<ContractPicture> pictures;
};

class ContractWorld {
public:
    virtual ~ContractWorld() = default;

    // The module the suite runs as: its resources (string list 32500 of three strings, dialog
    // 32600 with browser item 1, icon 32601) and its id.
    virtual const AddonResources& Resources() = 0;
    ModuleId Module() { return {Resources().developerId, Resources().localId}; }
    // Lets the host run one round of its event loop: idle notifications, event-loop calls,
    // timers and about 100 ms of its time. Returns on the host thread.
    virtual void Turn() = 0;
    // Whether the host accepts registration calls (service, menu, handlers, palette) after the
    // module's load; when not, the cases that make them again skip.
    virtual bool RegistersAfterLoad() = 0;

    // The project.
    virtual std::string LanguageCode() = 0;
    virtual ProjectInfo Project() = 0;
    // A window of the project that is not the 3D window (the floor plan), and the 3D window.
    virtual WindowInfo PlanWindow() = 0;
    virtual WindowInfo Window3D() = 0;
    // How many layer combinations the project has (indexes 1 to that); two or more.
    virtual int32_t LayerCombinations() = 0;
    virtual std::vector<StoryInfo> Stories() = 0;
    // Every element of each type code named, as many as the project holds; types it holds none
    // of have an empty list.
    virtual std::vector<int32_t> ElementTypes() = 0;
    virtual std::vector<ContractElement> ElementsOfType(int32_t typeCode) = 0;
    virtual ContractCamera Camera() = 0;
    // A view with a camera at least two folders deep.
    virtual ContractView NestedView() = 0;
    // A worksheet the host made, with its pictures; nothing when it has none such.
    virtual std::optional<ContractWorksheet> Worksheet(const HostGuid& database) = 0;
    // A folder the host may write files into, with a trailing separator.
    virtual std::u16string ScratchFolder() = 0;
};

HostApi& ContractHost();
ContractWorld& World();

// What the module's load asked of the host, with the add-on's arguments, and what each call
// answered. The world runs ContractRegisterInterface at the module's registration entry point
// and ContractInitialize at its initialisation, as the host calls them.
struct ContractLoad {
    HostError service = -1, menu = -1, menuHandler = -1, moduleCommand = -1, palette = -1;
};
ContractLoad& LoadResults();
HostError ContractRegisterInterface();
HostError ContractInitialize();
// The module's handlers that the load installs.
HostError ContractMenuCommand(const MenuParams& params);
HostError ContractModuleCommand(void* parameters, void* result, bool silentMode);
HostError ContractPaletteControl(int32_t referenceId, int32_t message, intptr_t parameter);

// The add-on's constants of the load: the palette's reference id, flags and GUID, the menu.
inline constexpr int32_t kContractMenuResId = 32500;
inline constexpr int32_t kContractDialogId = 32600, kContractIconId = 32601;
inline constexpr uint32_t kContractPaletteFlags = 1015;
inline constexpr int32_t kContractPaletteRefId = 0x2C07F0A5;
inline const HostGuid kContractPaletteGuid{0x2B3E4F60, 0x71A2, 0x4B3C, {0x8D, 0x9E, 0x0F, 0x10, 0x21, 0x32, 0x43, 0x54}};

// What the module's handlers were called with, for the cases to read.
struct ContractCalls {
    int moduleCommands = 0;
    bool lastSilent = false;
    int menuCommands = 0;
    std::vector<std::string> order;  // "idle" and "command", as the host called them
    bool inIdle = false;
    bool commandInsideIdle = false;
};
ContractCalls& Calls();
