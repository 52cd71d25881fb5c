// The simulated host application.
#include "sim/host/SimHost.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/Utf.h"
#include "sim/host/SimRasteriser.h"

namespace {
constexpr int kDialogLeft = 80, kDialogTop = 90, kToolbarHeight = 24;

bool PrintableCode(uint32_t code) {
    for (int shift = 0; shift < 32; shift += 8)
        if (((code >> shift) & 0xFF) < 0x20 || ((code >> shift) & 0xFF) > 0x7E) return false;
    return true;
}
}  // namespace

SimHost::SimHost(AddonEntry entry) : windows(clock), entry_(entry) {
    const char* order = std::getenv("TOVR_SIM_CALLBACKS_FIRST");
    callbacksFirst = order != nullptr && std::string_view(order) == "1";
    mainWindow = windows.CreateNamed(0, {0, 0, 1600, 1000}, "DGFrameWindow", "Archicad 30");
    planDialog = windows.CreateNamed(mainWindow, {kDialogLeft, kDialogTop, 1200, 900}, "DGModelessDlgClass", "");
    windows.CreateNamed(planDialog, {kDialogLeft + 8, kDialogTop + 30, 1192, 892}, "DGUserItemClass", "");
    dialog3D = windows.CreateNamed(mainWindow, {}, "DGModelessDlgClass", "");
    windows.CreateNamed(dialog3D, {}, "DGUserItemClass", "");  // the toolbar, too low to be the drawing area
    drawingArea3D = windows.CreateNamed(dialog3D, {}, "DGUserItemClass", "");
    // Printing the drawing area gives what it shows, the drawn frame.
    windows.Find(drawingArea3D)->paint = [this](int, int, SimPicture* picture) { return Draw3D(picture); };
    Set3DWindowSize(1200, 800);
    LoadModel("house");
    // Settings the add-on must override, so that a placement that forgets one shows.
    pictureDefaults.framePen = 1;
    pictureDefaults.mirrored = 1;
    pictureDefaults.angle = 0.5;
    pictureDefaults.xMax = pictureDefaults.yMax = 1;
    pictureDefaults.colourDepth = 32;
    pictureDefaults.formatCode = 1;
    pictureDefaults.name = u"Picture";
    extension_.clock = &clock;
    extension_.windows = &windows;
    extension_.launcher = &launcher;
    extension_.dialogs = &dialogs;
    entry_.getExports(&exports_);
    resources = exports_.resources;
    const HostImports imports{this, &extension_};
    entry_.setImports(&imports);
}

void SimHost::UseService(uint16_t port, const std::string& caFile, uint32_t timeoutDivisor) {
    serviceCaFile_ = caFile;
    extension_.servicePort = port;
    extension_.serviceCaFile = serviceCaFile_.empty() ? nullptr : serviceCaFile_.c_str();
    extension_.serviceTimeoutDivisor = timeoutDivisor;
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
    ++injectedFailures[operation];
    if (it->second.once) failures_.erase(it);
    return code;
}

void SimHost::FailOperation(const std::string& operation, HostError code, bool once) {
    failures_[operation] = Failure{code, once};
}

const std::vector<std::string>& SimHost::OperationNames() {
    static const std::vector<std::string> names = {
        "RegisterSupportedService", "RegisterMenu", "InstallMenuHandler", "InstallModuleCommandHandler",
        "RegisterPalette", "UnregisterPalette", "KeepInMemory", "CatchProjectEvents", "GetApplicationInfo",
        "CallFromEventLoop", "CreatePaletteWindow", "GetProjectInfo", "GetMainWindow", "GetFrontWindow",
        "ChangeFrontWindow", "GetProjection3D", "SetProjection3D", "Redraw3D", "GetLayerCombination",
        "SetLayerCombination", "ListElements", "GetElementHeader", "GetCameraElement", "GetElementBox3D",
        "GetModelExtent3D", "GetStories", "GetNavigatorRoot", "GetNavigatorChildren", "GetCurrent3DImage",
        "SaveFrontWindowPicture", "NewDatabase", "ChangeWindow", "RunUndoable", "GetPictureDefaults",
        "AllocateBlock", "CreatePicture", "ReleaseMemo", "ZoomToElements", "NativeImage.Encode"};
    return names;
}

bool SimHost::LoadModel(std::string_view name) {
    SimModel loaded;
    if (!MakeSampleProject(name, &loaded)) return false;
    model = std::move(loaded);
    front = model.windows.front().info;
    projection = model.startProjection;
    layerCombination = 1;
    frame3D.Clear();
    if (SimWindows::Window* plan = windows.Find(planDialog)) plan->title = model.name + " - Planta";
    if (SimWindows::Window* dialog = windows.Find(dialog3D)) dialog->title = model.name + " - 3D / Todas";
    return true;
}

bool SimHost::UserBringToFront(int32_t kind) {
    const SimWindowRecord* record = model.FindWindow(kind);
    if (record == nullptr) return false;
    if (kind == SimWindowKind::k3D && front.kind != kind) Start3DFrame();
    front = record->info;
    return true;
}

void SimHost::Set3DWindowSize(int width, int height) {
    const int left = kDialogLeft + 8, top = kDialogTop + 30;
    SimWindows::Window* dialog = windows.Find(dialog3D);
    SimWindows::Window* area = windows.Find(drawingArea3D);
    if (dialog == nullptr || area == nullptr) return;  // a test destroyed the 3D window
    dialog->rect = {kDialogLeft, kDialogTop, left + width + 8, top + kToolbarHeight + height + 8};
    if (SimWindows::Window* toolbar = dialog->children.empty() ? nullptr : windows.Find(dialog->children.front()))
        toolbar->rect = {left, top, left + width, top + kToolbarHeight};
    area->rect = {left, top + kToolbarHeight, left + width, top + kToolbarHeight + height};
}

bool SimHost::Draw3D(SimPicture* picture) const {
    const SimWindows::Window* area = windows.Find(drawingArea3D);
    if (area == nullptr) return false;
    const int width = area->rect.Width(), height = area->rect.Height();
    if (frame3D.Drawn())
        return Render3D(model, frame3D.Projection(), width, height, picture, frame3D.LayerCombination());
    if (width <= 0 || height <= 0) return false;
    picture->Allocate(width, height);
    for (size_t i = 0; i < picture->rgb.size(); ++i)
        picture->rgb[i] = static_cast<uint8_t>(kUndrawn3D >> (16 - 8 * (i % 3)));
    return true;
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
    // The window has drawn its frame by the time the add-on's timer sees the clock there.
    frame3D.DrawIfDue(clock.Elapsed(), projection, layerCombination);
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
    TurnWithoutTime();
    Advance(std::chrono::milliseconds(100));
}

void SimHost::TurnWithoutTime() {
    FinishPageLoad();
    if (callbacksFirst) RunEventLoopCalls();
    Idle();
    if (!callbacksFirst) RunEventLoopCalls();
}

HostError SimHost::RegisterSupportedService(uint32_t code, int32_t version) {
    if (HostError e = Injected("RegisterSupportedService")) return e;
    if (!PrintableCode(code) || version < 1) return kSimErrBadParameters;
    supportedServices.push_back(code);
    services_.push_back({code, version});
    return kHostOk;
}

HostError SimHost::RegisterMenu(const AddonResources* res, int32_t menuResId, int32_t promptResId, int32_t position,
                                int32_t flags) {
    if (HostError e = Injected("RegisterMenu")) return e;
    if (res == nullptr || res->String(menuResId, 3).empty()) return kHostErrNotFound;
    // A prompt list, when one is named, must exist; the position must be one of the host's
    // menus and the flags only the host's menu flags.
    if ((promptResId != 0 && res->String(promptResId, 1).empty()) || position < 0 || position >= kMenuPositions ||
        (flags & ~kMenuFlagsMask) != 0)
        return kSimErrBadParameters;
    registeredMenus.push_back(menuResId);
    return kHostOk;
}

HostError SimHost::InstallMenuHandler(int32_t menuResId, MenuHandler handler) {
    if (HostError e = Injected("InstallMenuHandler")) return e;
    if (handler == nullptr ||
        std::find(registeredMenus.begin(), registeredMenus.end(), menuResId) == registeredMenus.end())
        return kSimErrBadParameters;
    menuHandler = handler;
    return kHostOk;
}

HostError SimHost::InstallModuleCommandHandler(uint32_t code, int32_t version, ModuleCommandHandler handler) {
    if (HostError e = Injected("InstallModuleCommandHandler")) return e;
    // A handler serves a command the add-on registered as a supported service.
    auto registered = [&](const Service& s) { return s.code == code && s.version == version; };
    if (handler == nullptr || std::none_of(services_.begin(), services_.end(), registered))
        return kSimErrBadParameters;
    if (std::none_of(moduleCommands_.begin(), moduleCommands_.end(), registered))
        moduleCommands_.push_back({code, version});
    moduleCommandHandler = handler;
    return kHostOk;
}

HostError SimHost::RegisterPalette(int32_t referenceId, PaletteControlHandler handler, uint32_t flags,
                                   const HostGuid& guid) {
    if (HostError e = Injected("RegisterPalette")) return e;
    if (referenceId == 0 || handler == nullptr || (flags & ~kPaletteFlagsMask) != 0 || guid.IsNull())
        return kSimErrBadParameters;
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
    if ((mask & ~kProjectEventsMask) != 0 || (mask != 0 && handler == nullptr)) return kSimErrBadParameters;
    projectEventMask = mask;
    projectEventHandler = handler;
    return kHostOk;
}

HostError SimHost::GetApplicationInfo(ApplicationInfo* info) {
    if (HostError e = Injected("GetApplicationInfo")) return e;
    info->languageCode = languageCode;
    return kHostOk;
}

HostError SimHost::CallFromEventLoop(const ModuleId& module, uint32_t code, int32_t version, bool silent) {
    ++eventLoopCallsRequested;
    if (HostError e = Injected("CallFromEventLoop")) return e;
    if (refuseEventLoopCalls != kHostOk) return refuseEventLoopCalls;
    if (resources == nullptr || module.developerId != resources->developerId || module.localId != resources->localId)
        return kHostErrNotFound;
    // The command must be one the module installed a handler for, at that version; calls from
    // the add-on's own pump must be silent (no progress window, no interruption).
    auto installed = [&](const Service& s) { return s.code == code && s.version == version; };
    if (std::none_of(moduleCommands_.begin(), moduleCommands_.end(), installed) || !silent)
        return kSimErrBadParameters;
    ++pendingEventLoopCalls;
    return kHostOk;
}

HostError SimHost::CreatePaletteWindow(const PaletteWindowInfo& info, std::unique_ptr<PaletteWindow>* window) {
    if (HostError e = Injected("CreatePaletteWindow")) return e;
    const ResourceDialog* dialog = info.resources ? info.resources->Dialog(info.dialogId) : nullptr;
    if (dialog == nullptr) return kHostErrNotFound;
    auto created = std::make_unique<SimPaletteWindow>(windows, *dialog, [this] { palette_ = nullptr; });
    palette_ = created.get();
    created->page.KeepOnlyMessages(keepOnlyPageMessages);
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
