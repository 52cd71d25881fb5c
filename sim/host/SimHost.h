// The simulated host application: loads the add-on through its two exported functions, keeps
// its registrations, sends it menu commands, palette messages and project events, and runs a
// deterministic, steppable event loop on the thread that created it, with simulated time.
#pragma once
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/AddonAbi.h"
#include "host/HostApi.h"
#include "sim/host/Sim3DFrame.h"
#include "sim/host/SimClock.h"
#include "sim/host/SimDesktop.h"
#include "sim/host/SimModel.h"
#include "sim/host/SimRecords.h"
#include "sim/host/SimPaletteWindow.h"
#include "sim/host/SimWindows.h"

// The add-on's two loading functions, from a loaded module or from the linked library.
struct AddonEntry {
    GetExportedFuncAddrsFn getExports = nullptr;
    SetImportedFuncAddrsFn setImports = nullptr;
};

struct SimProject {
    bool queryFails = false;
    bool untitled = true;
    std::string path;  // UTF-8; empty for none
    std::string name = "Untitled";
};

class SimHost final : public HostApi {
public:
    explicit SimHost(AddonEntry entry);
    ~SimHost() override;

    // Entry points, in the host's order. Start runs the first three and is true when the
    // environment check answered "normal" and the other two returned 0.
    int32_t CheckEnvironment();
    HostError RegisterInterface();
    HostError Initialize();
    bool Start();
    HostError Release();
    // Points the add-on at a simulated service on loopback (port 0: the real service) through
    // the host extension, trusting the CA in `caFile` (empty: the system's trust), with every
    // transport time-out divided by `timeoutDivisor`; the add-on takes it at once.
    void UseService(uint16_t port, const std::string& caFile, uint32_t timeoutDivisor = 1);
    bool Released() const { return released_; }

    // Commands the host sends.
    void MenuCommand(int32_t menuResId, int32_t itemIndex);
    void OpenPaletteFromMenu() { MenuCommand(32500, 1); }
    void PaletteMessage(int32_t message, intptr_t parameter = 0);
    bool AskPaletteVisible();
    void SendProjectEvent(int32_t eventId, int32_t parameter = 0);

    // The event loop. Each is one kind of host event; Turn is one full round of them.
    void Idle();
    // Draws the 3D window's frame when it falls due, then fires timers, as time passes.
    void Advance(std::chrono::milliseconds duration);
    void RunEventLoopCalls();
    bool FinishPageLoad();
    void Turn();  // finish a pending page load, idle, run event-loop calls, 100 ms of time
    void TurnWithoutTime();  // the same with the clock standing still
    // Each turn runs the event-loop call-backs before the idle notification instead of after
    // it: the host may give either first. Its default is TOVR_SIM_CALLBACKS_FIRST set to "1", so
    // that whole test programs can run in the other order.
    bool callbacksFirst = false;

    // Failure injection: the named operation (the HostApi method's name) returns `code`, once
    // or until cleared. "NativeImage.Encode" fails the encoding of the next 3D images made.
    void FailOperation(const std::string& operation, HostError code, bool once = false);
    void ClearFailures() { failures_.clear(); }
    // How many calls each operation has failed by injection so far, by name.
    std::map<std::string, int> injectedFailures;
    // The names FailOperation accepts.
    static const std::vector<std::string>& OperationNames();
    // A non-zero code refuses every later event-loop call with it.
    HostError refuseEventLoopCalls = kHostOk;

    // What the host knows of the add-on.
    std::string addonName, addonDescription;
    std::vector<uint32_t> supportedServices;
    std::vector<int32_t> registeredMenus;
    MenuHandler menuHandler = nullptr;
    ModuleCommandHandler moduleCommandHandler = nullptr;
    PaletteControlHandler paletteControl = nullptr;
    int32_t paletteRefId = 0;
    uint32_t paletteFlags = 0;
    HostGuid paletteGuid;
    bool paletteRegistered = false;
    std::vector<int32_t> unregisteredPalettes;
    bool keepInMemory = false;
    ProjectEventHandler projectEventHandler = nullptr;
    uint32_t projectEventMask = 0;
    int eventLoopCallsRequested = 0;
    int pendingEventLoopCalls = 0;
    const AddonResources* resources = nullptr;

    // The host's own state.
    std::string languageCode = "ENG";
    SimProject project;
    NativeWindowHandle mainWindow = 0;
    SimClock clock;
    SimWindows windows;
    RecordingLauncher launcher;
    ScriptedDialogs dialogs;

    // The project's model and the host's view state. LoadModel replaces the model by a sample
    // project and puts the view state back to its start: the floor plan in front, the model's
    // starting camera, the first layer combination.
    SimModel model;
    bool LoadModel(std::string_view name);
    WindowInfo front;
    Projection3D projection;
    // The opaque parts of the window and projection records handed out, which is all a binding
    // may give back (sim/host/SimRecords.h); Refused() counts the others.
    IssuedRecords issuedWindows, issuedProjections;
    // A binding that reads the camera record of any element, not only of a camera, as the kit's
    // call might when nothing checks the element's type first.
    bool cameraRecordOfAnyElement = false;
    int32_t layerCombination = 1;
    int redraws = 0;
    // Brings the floor plan (kind 1) or the 3D window (kind 4) to the front, as the user does;
    // the 3D window coming to the front starts a frame.
    bool UserBringToFront(int32_t kind);

    // The 3D window: a visible "DGFrameWindow" of the process (the main window) holding a
    // "DGModelessDlgClass" titled "... 3D ..." whose direct children are a small toolbar and the
    // drawing area, a "DGUserItemClass" that shows the model from the current projection. The
    // floor plan's dialog beside it holds a drawing area of the same class.
    NativeWindowHandle dialog3D = 0, drawingArea3D = 0, planDialog = 0;
    // Sets the drawing area's size in pixels (default 1200 x 800); the picture follows it.
    void Set3DWindowSize(int width, int height);
    // The 3D window's frame: SetProjection3D, SetLayerCombination, Redraw3D and the window coming
    // to the front each start one, drawn `frame3D.drawDelay` of simulated time later (1 s unless
    // set) by the turn that reaches that time. A loaded project's window has none drawn.
    Sim3DFrame frame3D;
    // What the 3D window shows now, at the drawing area's size: the model from the drawn frame's
    // projection under its layer combination, or all kUndrawn3D when none has been drawn.
    bool Draw3D(SimPicture* picture) const;
    static constexpr uint32_t kUndrawn3D = 0xF0F0F0;  // 0xRRGGBB
    // Real time the host spent drawing the 3D window and encoding or writing its pictures (in
    // GetCurrent3DImage, NativeImage.Encode and SaveFrontWindowPicture), so that a benchmark can
    // leave the host's own work out of the add-on's.
    std::chrono::nanoseconds pictureTime{0};
    // The clock pictureTime is read with: the steady clock unless a benchmark sets another (the
    // thread's processor time).
    std::chrono::nanoseconds (*pictureClock)() = nullptr;
    // Writes a picture file the host saves (UTF-8 path); null writes it to disk. A fuzz target
    // whose file table is in memory writes it there, where the add-on reads it back.
    bool (*writePictureFile)(const std::string& path, const std::vector<uint8_t>& bytes) = nullptr;

    // Given to the page of every palette window made from now on (ScriptedPage::KeepOnlyMessages).
    bool keepOnlyPageMessages = false;

    SimPaletteWindow* Palette() const { return palette_; }
    ScriptedPage* Page() const { return palette_ ? &palette_->page : nullptr; }

    // HostApi
    HostError RegisterSupportedService(uint32_t code, int32_t version) override;
    HostError RegisterMenu(const AddonResources* resources, int32_t menuResId, int32_t promptResId, int32_t position,
                           int32_t flags) override;
    HostError InstallMenuHandler(int32_t menuResId, MenuHandler handler) override;
    HostError InstallModuleCommandHandler(uint32_t code, int32_t version, ModuleCommandHandler handler) override;
    HostError RegisterPalette(int32_t referenceId, PaletteControlHandler handler, uint32_t flags,
                              const HostGuid& guid) override;
    HostError UnregisterPalette(int32_t referenceId) override;
    HostError KeepInMemory(bool keep) override;
    HostError CatchProjectEvents(uint32_t mask, ProjectEventHandler handler) override;
    HostError GetApplicationInfo(ApplicationInfo* info) override;
    HostError CallFromEventLoop(const ModuleId& module, uint32_t code, int32_t version, bool silent) override;
    HostError CreatePaletteWindow(const PaletteWindowInfo& info, std::unique_ptr<PaletteWindow>* window) override;
    HostError GetProjectInfo(ProjectInfo* info) override;
    HostError GetMainWindow(NativeWindowHandle* window) override;
    HostError GetFrontWindow(WindowInfo* window) override;
    HostError ChangeFrontWindow(const WindowInfo& window) override;
    HostError GetProjection3D(Projection3D* projection) override;
    HostError SetProjection3D(const Projection3D& projection, int32_t option) override;
    HostError Redraw3D() override;
    HostError GetLayerCombination(int32_t* index) override;
    HostError SetLayerCombination(int32_t index) override;
    HostError ListElements(int32_t typeCode, uint32_t filterFlags, std::vector<HostGuid>* elements) override;
    HostError GetElementHeader(const HostGuid& element, ElementHeader* header) override;
    HostError GetCameraElement(const HostGuid& element, PerspectiveCamera* camera, int32_t* storyIndex) override;
    HostError GetElementBox3D(const HostGuid& element, Box3D* box) override;
    HostError GetModelExtent3D(Box3D* box) override;
    HostError GetStories(std::vector<StoryInfo>* stories) override;
    HostError GetNavigatorRoot(int32_t mapId, HostGuid* root) override;
    HostError GetNavigatorChildren(const NavigatorItem& parent, std::vector<NavigatorItem>* children) override;
    HostError GetCurrent3DImage(int32_t* option, std::unique_ptr<NativeImage>* image) override;
    HostError SaveFrontWindowPicture(int32_t fileType, const std::u16string& path,
                                     const PictureSettings& settings) override;
    HostError NewDatabase(DatabaseInfo* database) override;
    HostError ChangeWindow(const WindowInfo& window) override;
    HostError RunUndoable(const std::u16string& name, const std::function<HostError()>& command) override;
    HostError GetPictureDefaults(PictureElement* element) override;
    HostError AllocateBlock(size_t size, bool clear, HostBlock* block) override;
    HostError CreatePicture(const PictureElement& element, const ElementMemo& memo, HostGuid* created) override;
    HostError ReleaseMemo(ElementMemo* memo) override;
    HostError ZoomToElements(const std::vector<HostGuid>& elements) override;

    // The project's worksheets and their pictures as JSON: each worksheet's name and reference
    // id, each picture's name, box, format code, byte count and FNV-1a hash of its bytes.
    std::string ProjectJson() const;
    // A worksheet as paper: white, each picture element decoded and laid upright into its box
    // (later ones over earlier ones; one that cannot be decoded shows as a crossed grey box), the
    // sheet's extent scaled to fit 1600 pixels on its longer side with a margin, never above a
    // picture's own size (0.01 model units a pixel). A worksheet without pictures, or the null
    // GUID, is a small blank sheet. False when there is no such worksheet or the memory cannot
    // be had.
    bool DrawWorksheet(const HostGuid& worksheet, SimPicture* drawing) const;
    bool DrawWorksheetPng(const HostGuid& worksheet, std::vector<uint8_t>* png) const;
    // The worksheet in front, else the last one made; null when the project has none.
    HostGuid ShownWorksheet() const;

    // Undo steps the commands made, by name, oldest first; a command that failed makes none.
    std::vector<std::u16string> undoHistory;
    // The default settings of a new picture.
    PictureElement pictureDefaults;
    // The elements of the last zoom, and how many zooms there were.
    std::vector<HostGuid> lastZoom;
    int zooms = 0;
    // Host memory blocks handed out and not yet given back.
    size_t LiveBlocks() const { return blocks_.size(); }

    // The arguments the host accepts.
    static constexpr uint32_t kListFilterFlags = 10;
    static constexpr int32_t kPictureFileType = 16;  // PNG
    static constexpr int32_t kPictureColourDepth = 6;
    static constexpr uint32_t kPaletteFlagsMask = 0x3FF;
    static constexpr uint32_t kProjectEventsMask = 0x7FF;
    static constexpr int32_t kMenuPositions = 13;  // 0, the add-ons' menu, to 12
    static constexpr int32_t kMenuFlagsMask = 0x7;

private:
    HostError Injected(const char* operation);
    void Start3DFrame() { frame3D.Start(clock.Elapsed()); }

    struct Failure {
        HostError code;
        bool once;
    };
    AddonEntry entry_;
    AddonExports exports_;
    HostExtension extension_;
    std::string serviceCaFile_;
    std::map<std::string, Failure> failures_;
    struct Service {
        uint32_t code;
        int32_t version;
    };
    std::vector<Service> services_;
    std::vector<Service> moduleCommands_;
    SimPaletteWindow* palette_ = nullptr;
    std::map<uintptr_t, std::vector<uint8_t>> blocks_;
    uintptr_t nextBlock_ = 1;
    int createdDatabases_ = 0, createdPictures_ = 0;
    bool inUndoable_ = false;
    bool released_ = false;
    bool started_ = false;
};
