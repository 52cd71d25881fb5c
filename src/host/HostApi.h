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

inline constexpr int32_t kWindow3D = 4;  // the window kind of the 3D model window

struct WindowInfo {
    int32_t kind = 0;  // kWindow3D for the 3D model window
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

    // Each operation below says what the add-on hands over and reads back, and which results it
    // tells apart; every other non-zero result is passed on or logged as a number. A binding to
    // the vendor's kit implements each with the kit's call of the same role and returns the
    // kit's error code unchanged.

    // Add-on life.
    // The module's own service ('TOVR', version 1), so the host can call its module command.
    virtual HostError RegisterSupportedService(uint32_t code, int32_t version);
    // The menu of string list `menuResId` (32500) in the host's menus; prompt 0, position 0, flags
    // 0. Any failure is the entry point's result.
    virtual HostError RegisterMenu(const AddonResources* resources, int32_t menuResId, int32_t promptResId,
                                   int32_t position, int32_t flags);
    // The handler of that menu; the host calls it with the menu id and the 1-based item index.
    virtual HostError InstallMenuHandler(int32_t menuResId, MenuHandler handler);
    // The handler of the module command 'TOVR' version 1: the host's call-back from its event
    // loop. A failure is ignored (the event-loop steps then run at once).
    virtual HostError InstallModuleCommandHandler(uint32_t code, int32_t version, ModuleCommandHandler handler);
    // The palette under `guid`, its reference id, its control handler (messages 1 to 7) and flags.
    virtual HostError RegisterPalette(int32_t referenceId, PaletteControlHandler handler, uint32_t flags,
                                      const HostGuid& guid);
    virtual HostError UnregisterPalette(int32_t referenceId);
    // Keeps the module loaded while the palette exists.
    virtual HostError KeepInMemory(bool keep);
    // New (1), reset (2) and open (4) project events to `handler`; a failure is retried at the
    // next open of the palette.
    virtual HostError CatchProjectEvents(uint32_t mask, ProjectEventHandler handler);
    // Reads `languageCode` only.
    virtual HostError GetApplicationInfo(ApplicationInfo* info);
    // Asks for the module command 'TOVR' version 1, silently, from the event loop. 0 means the call
    // will come; any other result (0x81060388 when refused) makes the add-on run the steps at once.
    virtual HostError CallFromEventLoop(const ModuleId& module, uint32_t code, int32_t version, bool silent);
    // The palette window from dialog 32600 with icon 32601, holding the browser item 1; null or a
    // failure means no palette.
    virtual HostError CreatePaletteWindow(const PaletteWindowInfo& info, std::unique_ptr<PaletteWindow>* window);

    // Project.
    // Reads `untitled`, `hasPath`/`path` and `hasName`/`name`; a failure makes the project key "none".
    virtual HostError GetProjectInfo(ProjectInfo* info);
    // The host's main window, for sizing and docking the palette; a failure skips both.
    virtual HostError GetMainWindow(NativeWindowHandle* window);

    // Views.
    // Reads `kind` (4 is the 3D window) and `databaseGuid` of the front window.
    virtual HostError GetFrontWindow(WindowInfo* window);
    // Brings the window of that kind and database to the front (the 3D window to capture, the
    // user's window after).
    virtual HostError ChangeFrontWindow(const WindowInfo& window);
    // Reads `perspective` and the camera record (position, target, view angle, roll, distance);
    // must answer whichever window is in front.
    virtual HostError GetProjection3D(Projection3D* projection);
    // Sets that record with option 0.
    virtual HostError SetProjection3D(const Projection3D& projection, int32_t option);
    virtual HostError Redraw3D();
    // The index of the layer combination in force, and setting it back.
    virtual HostError GetLayerCombination(int32_t* index);
    virtual HostError SetLayerCombination(int32_t index);
    // The elements of one type code (1 walls … 45 morphs, 26 cameras) with filter flags 10.
    virtual HostError ListElements(int32_t typeCode, uint32_t filterFlags, std::vector<HostGuid>* elements);
    // Reads `typeCode` and `storyIndex`; 0x81060065 when the element is gone.
    virtual HostError GetElementHeader(const HostGuid& element, ElementHeader* header);
    // A camera element's perspective record (heights relative to its story) and story index;
    // 0x81060065 when the camera was deleted (the capture answers "view_not_found").
    virtual HostError GetCameraElement(const HostGuid& element, PerspectiveCamera* camera, int32_t* storyIndex);
    // Reads all six coordinates of the element's 3D box.
    virtual HostError GetElementBox3D(const HostGuid& element, Box3D* box);
    virtual HostError GetModelExtent3D(Box3D* box);
    // Reads `index` and `level` of each story.
    virtual HostError GetStories(std::vector<StoryInfo>* stories);
    // The root item of navigator map 1 (project map) or 2 (view map).
    virtual HostError GetNavigatorRoot(int32_t mapId, HostGuid* root);
    // Reads each child's `guid`, `cameraGuid`, `mapId`, `itemType` (5, 6, 10, 11), `name`,
    // `idText` and `reference`.
    virtual HostError GetNavigatorChildren(const NavigatorItem& parent, std::vector<NavigatorItem>* children);
    // The 3D window's current picture with option 0; the image is encoded to PNG (encoding 1).
    virtual HostError GetCurrent3DImage(int32_t* option, std::unique_ptr<NativeImage>* image);
    // Saves the front window's picture as file type 16 (PNG) with colour depth 6 to `path`;
    // 0x8106006B when the front window cannot be saved so.
    virtual HostError SaveFrontWindowPicture(int32_t fileType, const std::u16string& path,
                                             const PictureSettings& settings);

    // Model.
    // Makes a database of the record's type (7, a worksheet), name (at most 255 UTF-16 units) and
    // reference id "TO"; fills in its GUID. Its failure is "NewDatabase" in the placing log.
    virtual HostError NewDatabase(DatabaseInfo* database);
    // Makes the window of that kind and database the current one.
    virtual HostError ChangeWindow(const WindowInfo& window);
    // Runs the command as one undo step named `name`; its result is the operation's result. A
    // host that refuses runs nothing and answers non-zero.
    virtual HostError RunUndoable(const std::u16string& name, const std::function<HostError()>& command);
    // The picture type's defaults, into every field of the record.
    virtual HostError GetPictureDefaults(PictureElement* element);
    // A block of `size` bytes, zeroed when `clear`; 0x81060002 when the host has no memory for it
    // (the reply's reason "out_of_memory").
    virtual HostError AllocateBlock(size_t size, bool clear, HostBlock* block);
    // Creates the picture on the current window's database, inside an undoable command; 0x81060068
    // for image bytes the host cannot read ("unreadable_image"), 0x81060388 when it refuses
    // ("refused_by_archicad").
    virtual HostError CreatePicture(const PictureElement& element, const ElementMemo& memo, HostGuid* created);
    // Gives the memo's blocks back to the host and clears them.
    virtual HostError ReleaseMemo(ElementMemo* memo);
    // A failure is ignored: the picture stays placed.
    virtual HostError ZoomToElements(const std::vector<HostGuid>& elements);
};

// The installed host, or the no-host default whose every operation yields kHostErrNoHost.
HostApi& Host();
void InstallHost(HostApi* host);
