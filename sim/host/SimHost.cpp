// The simulated host application.
#include "sim/host/SimHost.h"

#include <cstring>

#include "platform/Utf.h"

SimHost::SimHost(AddonEntry entry) : windows(clock), entry_(entry) {
    mainWindow = windows.Create({0, 0, 1600, 1000});
    extension_.clock = &clock;
    extension_.windows = &windows;
    extension_.launcher = &launcher;
    extension_.dialogs = &dialogs;
    entry_.getExports(&exports_);
    resources = exports_.resources;
    const HostImports imports{this, &extension_};
    entry_.setImports(&imports);
}

SimHost::~SimHost() {
    if (started_ && !released_) Release();
    entry_.setImports(nullptr);
}

HostError SimHost::Injected(const char* operation) {
    const auto it = failures_.find(operation);
    if (it == failures_.end()) return kHostOk;
    const HostError code = it->second.code;
    if (it->second.once) failures_.erase(it);
    return code;
}

void SimHost::FailOperation(const std::string& operation, HostError code, bool once) {
    failures_[operation] = Failure{code, once};
}

int32_t SimHost::CheckEnvironment() {
    AddonEnvironment environment;
    std::strncpy(environment.languageCode, languageCode.c_str(), 3);
    const int32_t result = exports_.checkEnvironment(&environment);
    addonName = environment.name;
    addonDescription = environment.description;
    return result;
}

HostError SimHost::RegisterInterface() { return exports_.registerInterface(); }
HostError SimHost::Initialize() { return exports_.initialize(); }

bool SimHost::Start() {
    started_ = true;
    const bool environmentOk = CheckEnvironment() == kAddonLoadNormal;
    const bool registered = RegisterInterface() == kHostOk;
    return environmentOk && registered && Initialize() == kHostOk;
}

HostError SimHost::Release() {
    released_ = true;
    return exports_.freeData();
}

void SimHost::MenuCommand(int32_t menuResId, int32_t itemIndex) {
    if (menuHandler) menuHandler(MenuParams{menuResId, itemIndex});
}

void SimHost::PaletteMessage(int32_t message, intptr_t parameter) {
    if (paletteControl) paletteControl(paletteRefId, message, parameter);
}

bool SimHost::AskPaletteVisible() {
    bool visible = true;  // the add-on must overwrite it either way
    PaletteMessage(7, reinterpret_cast<intptr_t>(&visible));
    return visible;
}

void SimHost::SendProjectEvent(int32_t eventId, int32_t parameter) {
    if (projectEventHandler && (projectEventMask & static_cast<uint32_t>(eventId)) != 0)
        projectEventHandler(eventId, parameter);
}

void SimHost::Idle() {
    if (palette_) palette_->DeliverIdle();
}

void SimHost::Advance(std::chrono::milliseconds duration) {
    clock.Advance(duration);
    windows.FireTimers();
}

void SimHost::RunEventLoopCalls() {
    while (pendingEventLoopCalls > 0) {
        --pendingEventLoopCalls;
        if (moduleCommandHandler) moduleCommandHandler(nullptr, nullptr, true);
    }
}

bool SimHost::FinishPageLoad() { return palette_ && palette_->page.FinishLoading(); }

void SimHost::Turn() {
    FinishPageLoad();
    Idle();
    RunEventLoopCalls();
    Advance(std::chrono::milliseconds(100));
}

HostError SimHost::RegisterSupportedService(uint32_t code, int32_t) {
    if (HostError e = Injected("RegisterSupportedService")) return e;
    supportedServices.push_back(code);
    return kHostOk;
}

HostError SimHost::RegisterMenu(const AddonResources* res, int32_t menuResId, int32_t, int32_t, int32_t) {
    if (HostError e = Injected("RegisterMenu")) return e;
    if (res == nullptr || res->String(menuResId, 3).empty()) return kHostErrNotFound;
    registeredMenus.push_back(menuResId);
    return kHostOk;
}

HostError SimHost::InstallMenuHandler(int32_t, MenuHandler handler) {
    if (HostError e = Injected("InstallMenuHandler")) return e;
    menuHandler = handler;
    return kHostOk;
}

HostError SimHost::InstallModuleCommandHandler(uint32_t, int32_t, ModuleCommandHandler handler) {
    if (HostError e = Injected("InstallModuleCommandHandler")) return e;
    moduleCommandHandler = handler;
    return kHostOk;
}

HostError SimHost::RegisterPalette(int32_t referenceId, PaletteControlHandler handler, uint32_t flags,
                                   const HostGuid& guid) {
    if (HostError e = Injected("RegisterPalette")) return e;
    paletteRefId = referenceId;
    paletteControl = handler;
    paletteFlags = flags;
    paletteGuid = guid;
    paletteRegistered = true;
    return kHostOk;
}

HostError SimHost::UnregisterPalette(int32_t referenceId) {
    if (HostError e = Injected("UnregisterPalette")) return e;
    unregisteredPalettes.push_back(referenceId);
    if (referenceId == paletteRefId) {
        paletteRegistered = false;
        paletteControl = nullptr;
    }
    return kHostOk;
}

HostError SimHost::KeepInMemory(bool keep) {
    if (HostError e = Injected("KeepInMemory")) return e;
    keepInMemory = keep;
    return kHostOk;
}

HostError SimHost::CatchProjectEvents(uint32_t mask, ProjectEventHandler handler) {
    if (HostError e = Injected("CatchProjectEvents")) return e;
    projectEventMask = mask;
    projectEventHandler = handler;
    return kHostOk;
}

HostError SimHost::GetApplicationInfo(ApplicationInfo* info) {
    if (HostError e = Injected("GetApplicationInfo")) return e;
    info->languageCode = languageCode;
    return kHostOk;
}

HostError SimHost::CallFromEventLoop(const ModuleId& module, uint32_t code, int32_t, bool) {
    ++eventLoopCallsRequested;
    if (HostError e = Injected("CallFromEventLoop")) return e;
    if (refuseEventLoopCalls != kHostOk) return refuseEventLoopCalls;
    if (resources == nullptr || module.developerId != resources->developerId || module.localId != resources->localId ||
        code != FourCharCode("TOVR"))
        return kHostErrNotFound;
    ++pendingEventLoopCalls;
    return kHostOk;
}

HostError SimHost::CreatePaletteWindow(const PaletteWindowInfo& info, std::unique_ptr<PaletteWindow>* window) {
    if (HostError e = Injected("CreatePaletteWindow")) return e;
    const ResourceDialog* dialog = info.resources ? info.resources->Dialog(info.dialogId) : nullptr;
    if (dialog == nullptr) return kHostErrNotFound;
    auto created = std::make_unique<SimPaletteWindow>(windows, *dialog, [this] { palette_ = nullptr; });
    palette_ = created.get();
    *window = std::move(created);
    return kHostOk;
}

HostError SimHost::GetProjectInfo(ProjectInfo* info) {
    if (HostError e = Injected("GetProjectInfo")) return e;
    if (project.queryFails) return kHostErrRefused;
    info->untitled = project.untitled;
    info->hasPath = !project.path.empty();
    info->path = Utf8ToUtf16(project.path);
    info->hasName = !project.name.empty();
    info->name = Utf8ToUtf16(project.name);
    return kHostOk;
}

HostError SimHost::GetMainWindow(NativeWindowHandle* window) {
    if (HostError e = Injected("GetMainWindow")) return e;
    *window = mainWindow;
    return mainWindow != 0 ? kHostOk : kHostErrNotFound;
}
