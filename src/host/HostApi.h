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
#include <utility>
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
inline constexpr int32_t kElementCamera = 26;  // the type code of a camera element

// The part of a host record that the add-on never reads. The binding fills it with the rest of
// the host's record as it reads it (every field the members beside it do not hold) and, when it
// is handed the record again, writes those fields back unchanged; the add-on copies it whole.
// A record the add-on makes itself leaves it empty, which the binding reads as the host's
// defaults for those fields.
struct OpaqueRecord {
    std::vector<uint8_t> bytes;
    friend bool operator==(const OpaqueRecord&, const OpaqueRecord&) = default;
};

struct WindowInfo {
    WindowInfo() = default;
    WindowInfo(int32_t windowKind, HostGuid database, OpaqueRecord other = {})
        : kind(windowKind), databaseGuid(database), rest(std::move(other)) {}

    int32_t kind = 0;  // kWindow3D for the 3D model window
    HostGuid databaseGuid;
    OpaqueRecord rest;  // the window record's other fields (its zoom and scroll, for one)
    friend bool operator==(const WindowInfo&, const WindowInfo&) = default;
};

struct PerspectiveCamera {
    double cameraX = 0, cameraY = 0, cameraZ = 0;
    double targetX = 0, targetY = 0, targetZ = 0;
    double viewAngle = 0, roll = 0, distance = 0;
    friend bool operator==(const PerspectiveCamera&, const PerspectiveCamera&) = default;
};

struct Projection3D {
    bool perspective = false;
    PerspectiveCamera camera;
    // The projection record's other fields: a parallel view's kind, direction and scale, the
    // sun, the frame, and whatever else the host keeps there.
    OpaqueRecord rest;
    friend bool operator==(const Projection3D&, const Projection3D&) = default;
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

    // Each operation below says what the add-on hands over and reads back, which results it
    // tells apart, and who checks what: "host:" what the host refuses itself (a binding passes
    // the kit's result on unchanged), "add-on:" what the add-on checks before or after the call
    // and so needs from no binding. Every other non-zero result is passed on or logged as a
    // number. A binding to the vendor's kit implements each with the kit's call of the same role.

    // Add-on life.
    // The module's own service ('TOVR', version 1), so the host can call its module command.
    // host: a code already registered. add-on: a failure is the entry point's result.
    virtual HostError RegisterSupportedService(uint32_t code, int32_t version);
    // The menu of string list `menuResId` (32500) in the host's menus; prompt 0, position 0, flags
    // 0. host: a missing string list. add-on: any failure is the entry point's result.
    virtual HostError RegisterMenu(const AddonResources* resources, int32_t menuResId, int32_t promptResId,
                                   int32_t position, int32_t flags);
    // The handler of that menu; the host calls it with the menu id and the 1-based item index.
    // add-on: the handler acts only on its own menu id and item 1.
    virtual HostError InstallMenuHandler(int32_t menuResId, MenuHandler handler);
    // The handler of the module command 'TOVR' version 1: the host's call-back from its event
    // loop. add-on: a failure is ignored (the event-loop steps then run at once).
    virtual HostError InstallModuleCommandHandler(uint32_t code, int32_t version, ModuleCommandHandler handler);
    // The palette under `guid`, its reference id, its control handler (messages 1 to 7) and flags.
    // host: a GUID or reference id in use. add-on: the handler acts on messages 1 to 7 only.
    virtual HostError RegisterPalette(int32_t referenceId, PaletteControlHandler handler, uint32_t flags,
                                      const HostGuid& guid);
    // host: a reference id it does not know. add-on: the result is ignored at release.
    virtual HostError UnregisterPalette(int32_t referenceId);
    // Keeps the module loaded while the palette exists. add-on: the result is ignored.
    virtual HostError KeepInMemory(bool keep);
    // New (1), reset (2) and open (4) project events to `handler`. add-on: a failure is retried at
    // the next open of the palette; the handler counts only those three events.
    virtual HostError CatchProjectEvents(uint32_t mask, ProjectEventHandler handler);
    // Reads `languageCode` only. add-on: a code other than the Portuguese and Spanish ones leaves
    // the language to the user's locale; a failure keeps the default.
    virtual HostError GetApplicationInfo(ApplicationInfo* info);
    // Asks for the module command 'TOVR' version 1, silently, from the event loop. 0 means the call
    // will come; any other result (0x81060388 when refused) makes the add-on run the steps at once.
    // host: an unknown module or command. add-on: one request at a time is outstanding.
    virtual HostError CallFromEventLoop(const ModuleId& module, uint32_t code, int32_t version, bool silent);
    // The palette window from dialog 32600 with icon 32601, holding the browser item 1. host: a
    // missing dialog or icon. add-on: null or a failure means no palette.
    virtual HostError CreatePaletteWindow(const PaletteWindowInfo& info, std::unique_ptr<PaletteWindow>* window);

    // Project.
    // Reads `untitled`, `hasPath`/`path` and `hasName`/`name`. add-on: a failure makes the
    // project key "none"; the path is used only when `hasPath`.
    virtual HostError GetProjectInfo(ProjectInfo* info);
    // The host's main window, for sizing and docking the palette. add-on: a failure or a null
    // handle skips both.
    virtual HostError GetMainWindow(NativeWindowHandle* window);

    // Views.
    // Reads `kind` (4 is the 3D window) and `databaseGuid` of the front window, and its `rest`
    // whole. host: a null record. add-on: a failure leaves the front window as it is after a
    // capture.
    virtual HostError GetFrontWindow(WindowInfo* window);
    // Brings the window of that kind and database to the front (the 3D window to capture, the
    // user's window after), with the fields `rest` holds. host: a kind or database it has no
    // window for (0x81060065 for a database of a known kind). add-on: it asks only for the 3D
    // window or for a record read from GetFrontWindow.
    virtual HostError ChangeFrontWindow(const WindowInfo& window);
    // Reads `perspective` and the camera record (position, target, view angle, roll, distance),
    // and `rest` whole; must answer whichever window is in front. host: a null record.
    virtual HostError GetProjection3D(Projection3D* projection);
    // Sets that record with option 0; `rest` goes back as it was read. host: any other option, a
    // perspective camera at its own target, a `rest` it did not hand out. add-on: it sets only
    // records it read, with the camera of a camera element or the user's record put back.
    virtual HostError SetProjection3D(const Projection3D& projection, int32_t option);
    // add-on: the result is ignored.
    virtual HostError Redraw3D();
    // The index of the layer combination in force, and setting it back. host: an index it has
    // no combination for. add-on: it sets back only a positive index it read, and only when it
    // differs.
    virtual HostError GetLayerCombination(int32_t* index);
    virtual HostError SetLayerCombination(int32_t index);
    // The elements of one type code (1 walls … 45 morphs, 26 cameras) with filter flags 10.
    // host: an unknown type code. add-on: it skips a type whose list fails.
    virtual HostError ListElements(int32_t typeCode, uint32_t filterFlags, std::vector<HostGuid>* elements);
    // Reads `typeCode` and `storyIndex`; 0x81060065 when the element is gone. host: a null GUID.
    // add-on: it checks the type code itself where the type matters (a camera is type 26).
    virtual HostError GetElementHeader(const HostGuid& element, ElementHeader* header);
    // A camera element's perspective record (heights relative to its story) and story index;
    // 0x81060065 when the camera was deleted (the capture answers "view_not_found"). host: an
    // element that is no camera. add-on: it reads the element's header first and takes only
    // type 26, so a binding that reads any element's record gives no camera of a wall.
    virtual HostError GetCameraElement(const HostGuid& element, PerspectiveCamera* camera, int32_t* storyIndex);
    // Reads all six coordinates of the element's 3D box. host: an element without a body.
    // add-on: an inverted box is left out of the building's box.
    virtual HostError GetElementBox3D(const HostGuid& element, Box3D* box);
    // add-on: an inverted extent is not used.
    virtual HostError GetModelExtent3D(Box3D* box);
    // Reads `index` and `level` of each story. add-on: a story index it does not find means
    // level 0.
    virtual HostError GetStories(std::vector<StoryInfo>* stories);
    // The root item of navigator map 1 (project map) or 2 (view map). host: any other map id.
    virtual HostError GetNavigatorRoot(int32_t mapId, HostGuid* root);
    // Reads each child's `guid`, `cameraGuid`, `mapId`, `itemType` (5, 6, 10, 11), `name`,
    // `idText` and `reference`. host: an item it does not know. add-on: it bounds the depth and
    // the count it walks, reads cameras of view items only (types 5, 6 and 10), and lists a
    // camera shown by several items once.
    virtual HostError GetNavigatorChildren(const NavigatorItem& parent, std::vector<NavigatorItem>* children);
    // The 3D window's current picture with option 0; the image is encoded to PNG (encoding 1).
    // host: another option, and 0x8106006B when the 3D window is not in front. add-on: it brings
    // the 3D window to the front first, and tests the picture for content itself.
    virtual HostError GetCurrent3DImage(int32_t* option, std::unique_ptr<NativeImage>* image);
    // Saves the front window's picture as file type 16 (PNG) with colour depth 6 to `path`;
    // 0x8106006B when the front window cannot be saved so. host: another type or depth, an empty
    // path. add-on: the path is a temporary file it made, read back and deleted.
    virtual HostError SaveFrontWindowPicture(int32_t fileType, const std::u16string& path,
                                             const PictureSettings& settings);

    // Model.
    // Makes a database of the record's type (7, a worksheet), name (at most 255 UTF-16 units) and
    // reference id "TO"; fills in its GUID. Its failure is "NewDatabase" in the placing log.
    // host: another type, a name too long. add-on: it cuts the name to 255 units, never within a
    // surrogate pair, before the call.
    virtual HostError NewDatabase(DatabaseInfo* database);
    // Makes the window of that kind and database the current one. host: a database it does not
    // have. add-on: only the worksheet it has just made.
    virtual HostError ChangeWindow(const WindowInfo& window);
    // Runs the command as one undo step named `name`; its result is the operation's result. A
    // host that refuses runs nothing and answers non-zero. add-on: a failure inside the command
    // is the step's result.
    virtual HostError RunUndoable(const std::u16string& name, const std::function<HostError()>& command);
    // The picture type's defaults, into every field of the record. add-on: it overwrites only
    // the fields it sets.
    virtual HostError GetPictureDefaults(PictureElement* element);
    // A block of `size` bytes, zeroed when `clear`; 0x81060002 when the host has no memory for it
    // (the reply's reason "out_of_memory"). add-on: every block it takes goes back through
    // ReleaseMemo on every path.
    virtual HostError AllocateBlock(size_t size, bool clear, HostBlock* block);
    // Creates the picture on the current window's database, inside an undoable command; 0x81060068
    // for image bytes the host cannot read ("unreadable_image"), 0x81060388 when it refuses
    // ("refused_by_archicad"). host: a box of no area, a name too long. add-on: it sizes the box
    // from the image's own pixel size and checks the image's type before the call.
    virtual HostError CreatePicture(const PictureElement& element, const ElementMemo& memo, HostGuid* created);
    // Gives the memo's blocks back to the host and clears them. add-on: called once per memo.
    virtual HostError ReleaseMemo(ElementMemo* memo);
    // add-on: a failure is ignored: the picture stays placed.
    virtual HostError ZoomToElements(const std::vector<HostGuid>& elements);
};

// The installed host, or the no-host default whose every operation yields kHostErrNoHost.
HostApi& Host();
void InstallHost(HostApi* host);
