// The host application as the add-on sees it: every host operation it uses, named by role.
// Each returns the host's 32-bit error code (0 is success). The base class answers every
// operation with kHostErrNoHost, which is what the add-on gets when no host is installed;
// a host binding overrides the operations it provides. Everything runs on the host thread.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/HostErrors.h"
#include "host/HostGuid.h"
#include "host/NativeImage.h"
#include "host/PaletteWindow.h"

struct AddonResources;

// Four-character codes such as 'TOVR', packed big-end first.
constexpr uint32_t FourCharCode(const char (&c)[5]) {
    return (uint32_t(uint8_t(c[0])) << 24) | (uint32_t(uint8_t(c[1])) << 16) | (uint32_t(uint8_t(c[2])) << 8) |
           uint32_t(uint8_t(c[3]));
}

struct MenuParams {
    int32_t menuResId = 0;
    int32_t itemIndex = 0;
};

struct ModuleId {
    uint32_t developerId = 0;
    uint32_t localId = 0;
};

struct ApplicationInfo {
    std::string languageCode;  // three upper-case letters, such as "ENG"
};

struct ProjectInfo {
    bool untitled = true;
    bool hasPath = false;
    std::u16string path;
    bool hasName = false;
    std::u16string name;
};

struct WindowInfo {
    int32_t kind = 0;  // 4 is the 3D model window
    HostGuid databaseGuid;
};

struct PerspectiveCamera {
    double cameraX = 0, cameraY = 0, cameraZ = 0;
    double targetX = 0, targetY = 0, targetZ = 0;
    double viewAngle = 0, roll = 0, distance = 0;
};

struct Projection3D {
    bool perspective = false;
    PerspectiveCamera camera;
};

struct Box3D {
    double xMin = 0, yMin = 0, zMin = 0, xMax = 0, yMax = 0, zMax = 0;
};

struct ElementHeader {
    HostGuid guid;
    int32_t typeCode = 0;
    int32_t storyIndex = 0;
};

struct StoryInfo {
    int32_t index = 0;
    double level = 0;
};

struct NavigatorItem {
    HostGuid guid;
    HostGuid cameraGuid;  // null when the item shows no camera
    int32_t mapId = 0;
    int32_t itemType = 0;
    std::u16string name;
    std::u16string idText;
    std::string reference;
};

struct PictureSettings {
    int32_t colourDepth = 0;
};

struct PictureElement {
    HostGuid databaseGuid;
    double x = 0, y = 0, width = 0, height = 0;
    std::u16string name;
};

struct PaletteWindowInfo {
    const AddonResources* resources = nullptr;
    int32_t dialogId = 0;
    int32_t iconId = 0;
    HostGuid guid;
};

using MenuHandler = HostError (*)(const MenuParams& params);
using ModuleCommandHandler = HostError (*)(void* parameters, void* result, bool silentMode);
using PaletteControlHandler = HostError (*)(int32_t referenceId, int32_t message, intptr_t parameter);
using ProjectEventHandler = HostError (*)(int32_t eventId, int32_t parameter);

class HostApi {
public:
    virtual ~HostApi() = default;

    // Add-on life.
    virtual HostError RegisterSupportedService(uint32_t code, int32_t version);
    virtual HostError RegisterMenu(const AddonResources* resources, int32_t menuResId, int32_t promptResId,
                                   int32_t position, int32_t flags);
    virtual HostError InstallMenuHandler(int32_t menuResId, MenuHandler handler);
    virtual HostError InstallModuleCommandHandler(uint32_t code, int32_t version, ModuleCommandHandler handler);
    virtual HostError RegisterPalette(int32_t referenceId, PaletteControlHandler handler, uint32_t flags,
                                      const HostGuid& guid);
    virtual HostError UnregisterPalette(int32_t referenceId);
    virtual HostError KeepInMemory(bool keep);
    virtual HostError CatchProjectEvents(uint32_t mask, ProjectEventHandler handler);
    virtual HostError GetApplicationInfo(ApplicationInfo* info);
    // 0 means the host will call the module command back from its event loop.
    virtual HostError CallFromEventLoop(const ModuleId& module, uint32_t code, int32_t version, bool silent);
    virtual HostError CreatePaletteWindow(const PaletteWindowInfo& info, std::unique_ptr<PaletteWindow>* window);

    // Project.
    virtual HostError GetProjectInfo(ProjectInfo* info);
    virtual HostError GetMainWindow(NativeWindowHandle* window);

    // Views.
    virtual HostError GetFrontWindow(WindowInfo* window);
    virtual HostError ChangeFrontWindow(const WindowInfo& window);
    virtual HostError GetProjection3D(Projection3D* projection);
    virtual HostError SetProjection3D(const Projection3D& projection, int32_t option);
    virtual HostError Redraw3D();
    virtual HostError GetLayerCombination(int32_t* index);
    virtual HostError SetLayerCombination(int32_t index);
    virtual HostError ListElements(int32_t typeCode, uint32_t filterFlags, std::vector<HostGuid>* elements);
    virtual HostError GetElementHeader(const HostGuid& element, ElementHeader* header);
    virtual HostError GetCameraElement(const HostGuid& element, PerspectiveCamera* camera, int32_t* storyIndex);
    virtual HostError GetElementBox3D(const HostGuid& element, Box3D* box);
    virtual HostError GetModelExtent3D(Box3D* box);
    virtual HostError GetStories(std::vector<StoryInfo>* stories);
    virtual HostError GetNavigatorRoot(int32_t mapId, HostGuid* root);
    virtual HostError GetNavigatorChildren(const NavigatorItem& parent, std::vector<NavigatorItem>* children);
    virtual HostError GetCurrent3DImage(int32_t* option, std::unique_ptr<NativeImage>* image);
    virtual HostError SaveFrontWindowPicture(int32_t fileType, const std::u16string& path,
                                             const PictureSettings& settings);

    // Model.
    virtual HostError NewWorksheet(const std::u16string& name, WindowInfo* database);
    virtual HostError ChangeWindow(const WindowInfo& window);
    virtual HostError RunUndoable(const std::u16string& name, const std::function<HostError()>& command);
    virtual HostError CreatePicture(const PictureElement& element, const std::vector<uint8_t>& imageBytes,
                                    HostGuid* created);
    virtual HostError ZoomToElements(const std::vector<HostGuid>& elements);
};

// The installed host, or the no-host default whose every operation yields kHostErrNoHost.
HostApi& Host();
void InstallHost(HostApi* host);
