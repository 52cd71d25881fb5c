// The simulated host application: loads the add-on through its two exported functions, keeps
// its registrations, sends it menu commands, palette messages and project events, and runs a
// deterministic, steppable event loop on the thread that created it, with simulated time.
#pragma once
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/AddonAbi.h"
#include "host/HostApi.h"
#include "sim/host/SimClock.h"
#include "sim/host/SimDesktop.h"
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
    bool Released() const { return released_; }

    // Commands the host sends.
    void MenuCommand(int32_t menuResId, int32_t itemIndex);
    void OpenPaletteFromMenu() { MenuCommand(32500, 1); }
    void PaletteMessage(int32_t message, intptr_t parameter = 0);
    bool AskPaletteVisible();
    void SendProjectEvent(int32_t eventId, int32_t parameter = 0);

    // The event loop. Each is one kind of host event; Turn is one full round of them.
    void Idle();
    void Advance(std::chrono::milliseconds duration);  // fires timers as time passes
    void RunEventLoopCalls();
    bool FinishPageLoad();
    void Turn();  // finish a pending page load, idle, run event-loop calls, 100 ms of time

    // Failure injection: the named operation (the HostApi method's name) returns `code`, once
    // or until cleared.
    void FailOperation(const std::string& operation, HostError code, bool once = false);
    void ClearFailures() { failures_.clear(); }
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

private:
    HostError Injected(const char* operation);

    struct Failure {
        HostError code;
        bool once;
    };
    AddonEntry entry_;
    AddonExports exports_;
    HostExtension extension_;
    std::map<std::string, Failure> failures_;
    SimPaletteWindow* palette_ = nullptr;
    bool released_ = false;
    bool started_ = false;
};
