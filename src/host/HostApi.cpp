// The no-host answers of every host operation, and the installed-host pointer.
#include "host/HostApi.h"

#include <atomic>

HostError HostApi::RegisterSupportedService(uint32_t, int32_t) { return kHostErrNoHost; }
HostError HostApi::RegisterMenu(const AddonResources*, int32_t, int32_t, int32_t, int32_t) { return kHostErrNoHost; }
HostError HostApi::InstallMenuHandler(int32_t, MenuHandler) { return kHostErrNoHost; }
HostError HostApi::InstallModuleCommandHandler(uint32_t, int32_t, ModuleCommandHandler) { return kHostErrNoHost; }
HostError HostApi::RegisterPalette(int32_t, PaletteControlHandler, uint32_t, const HostGuid&) { return kHostErrNoHost; }
HostError HostApi::UnregisterPalette(int32_t) { return kHostErrNoHost; }
HostError HostApi::KeepInMemory(bool) { return kHostErrNoHost; }
HostError HostApi::CatchProjectEvents(uint32_t, ProjectEventHandler) { return kHostErrNoHost; }
HostError HostApi::GetApplicationInfo(ApplicationInfo*) { return kHostErrNoHost; }
HostError HostApi::CallFromEventLoop(const ModuleId&, uint32_t, int32_t, bool) { return kHostErrNoHost; }
HostError HostApi::CreatePaletteWindow(const PaletteWindowInfo&, std::unique_ptr<PaletteWindow>*) { return kHostErrNoHost; }
HostError HostApi::GetProjectInfo(ProjectInfo*) { return kHostErrNoHost; }
HostError HostApi::GetMainWindow(NativeWindowHandle*) { return kHostErrNoHost; }
HostError HostApi::GetFrontWindow(WindowInfo*) { return kHostErrNoHost; }
HostError HostApi::ChangeFrontWindow(const WindowInfo&) { return kHostErrNoHost; }
HostError HostApi::GetProjection3D(Projection3D*) { return kHostErrNoHost; }
HostError HostApi::SetProjection3D(const Projection3D&, int32_t) { return kHostErrNoHost; }
HostError HostApi::Redraw3D() { return kHostErrNoHost; }
HostError HostApi::GetLayerCombination(int32_t*) { return kHostErrNoHost; }
HostError HostApi::SetLayerCombination(int32_t) { return kHostErrNoHost; }
HostError HostApi::ListElements(int32_t, uint32_t, std::vector<HostGuid>*) { return kHostErrNoHost; }
HostError HostApi::GetElementHeader(const HostGuid&, ElementHeader*) { return kHostErrNoHost; }
HostError HostApi::GetCameraElement(const HostGuid&, PerspectiveCamera*, int32_t*) { return kHostErrNoHost; }
HostError HostApi::GetElementBox3D(const HostGuid&, Box3D*) { return kHostErrNoHost; }
HostError HostApi::GetModelExtent3D(Box3D*) { return kHostErrNoHost; }
HostError HostApi::GetStories(std::vector<StoryInfo>*) { return kHostErrNoHost; }
HostError HostApi::GetNavigatorRoot(int32_t, HostGuid*) { return kHostErrNoHost; }
HostError HostApi::GetNavigatorChildren(const NavigatorItem&, std::vector<NavigatorItem>*) { return kHostErrNoHost; }
HostError HostApi::GetCurrent3DImage(int32_t*, std::unique_ptr<NativeImage>*) { return kHostErrNoHost; }
HostError HostApi::SaveFrontWindowPicture(int32_t, const std::u16string&, const PictureSettings&) { return kHostErrNoHost; }
HostError HostApi::NewDatabase(DatabaseInfo*) { return kHostErrNoHost; }
HostError HostApi::ChangeWindow(const WindowInfo&) { return kHostErrNoHost; }
HostError HostApi::RunUndoable(const std::u16string&, const std::function<HostError()>&) { return kHostErrNoHost; }
HostError HostApi::GetPictureDefaults(PictureElement*) { return kHostErrNoHost; }
HostError HostApi::AllocateBlock(size_t, bool, HostBlock*) { return kHostErrNoHost; }
HostError HostApi::CreatePicture(const PictureElement&, const ElementMemo&, HostGuid*) { return kHostErrNoHost; }
HostError HostApi::ReleaseMemo(ElementMemo*) { return kHostErrNoHost; }
HostError HostApi::ZoomToElements(const std::vector<HostGuid>&) { return kHostErrNoHost; }

namespace {
HostApi gNoHost;
std::atomic<HostApi*> gHost{nullptr};
}  // namespace

HostApi& Host() {
    HostApi* h = gHost.load(std::memory_order_acquire);
    return h ? *h : gNoHost;
}

void InstallHost(HostApi* host) { gHost.store(host, std::memory_order_release); }
