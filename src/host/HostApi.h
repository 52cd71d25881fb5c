// The host application as the add-on sees it: every host operation it uses, named by role.
// Each returns the host's 32-bit error code (0 is success). The base class answers every
// operation with kHostErrNoHost, which is what the add-on gets when no host is installed;
// a host binding overrides the operations it provides. Everything runs on the host thread.
#pragma once
#include <cstddef>
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

// A database record: its kind, the id the host gives it, its name and reference id.
struct DatabaseInfo {
    int32_t typeCode = 0;  // kDatabaseWorksheet for a worksheet
    HostGuid databaseGuid;
    std::u16string name;   // at most kMaxHostNameUnits
    std::u16string refId;
};

inline constexpr int32_t kDatabaseWorksheet = 7;  // also the window kind of a worksheet
inline constexpr size_t kMaxHostNameUnits = 255;   // names of databases and elements

// The picture element's settings that the add-on reads or sets, in the order of the host's
// picture record. The host's defaults fill every one of them.
struct PictureElement {
    int16_t framePen = 0;
    int8_t mirrored = 0;
    double angle = 0;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;  // model units, on the current database
    int32_t colourDepth = 0;
    int32_t formatCode = 0;  // kPictureFormatPng or kPictureFormatJpeg
    std::u16string name;     // at most kMaxHostNameUnits
};

inline constexpr int32_t kPictureFormatJpeg = 4, kPictureFormatPng = 5;

// A block of the host's memory, handed out and taken back by the host.
struct HostBlock {
    uintptr_t id = 0;
    uint8_t* data = nullptr;
    size_t size = 0;
};

// The memo that goes with a new element: for a picture, its image bytes.
struct ElementMemo {
    HostBlock pictureData;
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
    // Makes a database of the record's type, name and reference id; fills in its GUID.
    virtual HostError NewDatabase(DatabaseInfo* database);
    virtual HostError ChangeWindow(const WindowInfo& window);
    // Runs the command as one undo step named `name`; its result is the operation's result.
    virtual HostError RunUndoable(const std::u16string& name, const std::function<HostError()>& command);
    virtual HostError GetPictureDefaults(PictureElement* element);
    // A block of `size` bytes, zeroed when `clear`.
    virtual HostError AllocateBlock(size_t size, bool clear, HostBlock* block);
    // Creates the picture on the current window's database, inside an undoable command.
    virtual HostError CreatePicture(const PictureElement& element, const ElementMemo& memo, HostGuid* created);
    // Gives the memo's blocks back to the host and clears them.
    virtual HostError ReleaseMemo(ElementMemo* memo);
    virtual HostError ZoomToElements(const std::vector<HostGuid>& elements);
};

// The installed host, or the no-host default whose every operation yields kHostErrNoHost.
HostApi& Host();
void InstallHost(HostApi* host);
