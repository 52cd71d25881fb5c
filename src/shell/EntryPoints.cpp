// The four entry points, the menu and module commands, palette control and project events.
#include <algorithm>
#include <cstring>

#include "handlers/selftest/SelfTest.h"
#include "handlers/views/Cameras.h"
#include "host/AddonResources.h"
#include "panel/Language.h"
#include "panel/Mailbox.h"
#include "panel/ModelOps.h"
#include "panel/Palette.h"
#include "panel/ProjectGeneration.h"
#include "panel/Serving.h"
#include "platform/Clock.h"
#include "shell/Shell.h"

namespace {
constexpr int32_t kMenuResId = 32500;
constexpr int32_t kNameListId = 32000;
constexpr uint32_t kPaletteFlags = 1015;
constexpr uint32_t kProjectEventMask = 7;

std::unique_ptr<Palette> gPalette;
bool gHideRemembered = false;
bool gProjectEventsInstalled = false;

void ControlPalette(int32_t message, intptr_t parameter);

void CopyText(char* target, size_t capacity, const std::string& text) {
    const size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}
}  // namespace

Palette* CurrentPalette() { return gPalette.get(); }

int32_t CheckEnvironment(AddonEnvironment* environment) {
    SelectUiLanguage(std::string_view(environment->languageCode, strnlen(environment->languageCode, 3)));
    CopyText(environment->name, sizeof environment->name, ModuleResources().String(kNameListId, 1));
    CopyText(environment->description, sizeof environment->description, ModuleResources().String(kNameListId, 2));
    return kAddonLoadNormal;
}

HostError RegisterInterface() {
    const HostError service = Host().RegisterSupportedService(FourCharCode("TOVR"), 1);
    const HostError menu = Host().RegisterMenu(&ModuleResources(), kMenuResId, 0, 0, 0);
    return menu != kHostOk ? menu : service;
}

HostError Initialize() {
    ApplicationInfo info;
    if (Host().GetApplicationInfo(&info) == kHostOk) SelectUiLanguage(info.languageCode);
    const HostError menu = Host().InstallMenuHandler(kMenuResId, OnMenuCommand);
    Host().InstallModuleCommandHandler(FourCharCode("TOVR"), 1, OnModuleCommand);
    if (menu != kHostOk) return menu;
    return Host().RegisterPalette(PaletteRefId(), PaletteControl, kPaletteFlags, PaletteGuid());
}

HostError FreeData() {
    std::unique_ptr<Palette> released = std::move(gPalette);
    released.reset();
    const std::shared_ptr<Mailbox> mailbox = ProcessMailbox();
    for (int round = 0; round < 30 && mailbox->workers.load() > 0; ++round) SleepFor(std::chrono::milliseconds(100));
    Host().UnregisterPalette(PaletteRefId());
    // What is still queued is never run, and a worker still running posts into a closed Mailbox.
    RenewProcessMailbox();
    gHideRemembered = false;
    gProjectEventsInstalled = false;
    return kHostOk;
}

bool ReplacePaletteForTesting() {
    if (!gPalette || !IsIdle(*ProcessMailbox()) || !gPalette->NothingWaits()) return false;
    gPalette.reset();
    RenewProcessMailbox();
    OvraViews::ViewCameras().clear();
    OvraViews::LastCameraText().clear();
    ForgetSelfTestRun();
    gHideRemembered = false;
    OpenPalette();
    return gPalette != nullptr;
}

HostError OnMenuCommand(const MenuParams& params) {
    AtHostCallBack("menu command", [&] {
        if (params.menuResId == kMenuResId && params.itemIndex == 1) OpenPalette();
    });
    return kHostOk;
}

HostError OnModuleCommand(void*, void*, bool) {
    // The host's own call-back, so the project change is caught up with first, as the drain does;
    // the pump's call of the same functions when the host refuses the call runs inside a drain.
    AtHostCallBack("module command", [] {
        if (!gPalette) return;
        gPalette->CatchUpWithProject();
        gPalette->Pump().RunEventLoopCalls(*gPalette);
    });
    return kHostOk;
}

void OpenPalette() {
    bool created = false;
    if (!gPalette) {
        gPalette = Palette::Create();
        if (!gPalette) return;
        created = true;
        Host().KeepInMemory(true);
    }
    // A failed installation is tried again at the next open.
    if (!gProjectEventsInstalled)
        gProjectEventsInstalled = Host().CatchProjectEvents(kProjectEventMask, ProjectEvent) == kHostOk;
    gPalette->Window().Show(-32768);
    if (created) {
        gPalette->SizeToHost();
        gPalette->DockToHost();
    }
}

HostError PaletteControl(int32_t, int32_t message, intptr_t parameter) {
    AtHostCallBack("palette control", [&] { ControlPalette(message, parameter); });
    return kHostOk;
}

HostError ProjectEvent(int32_t eventId, int32_t) {
    // Seen at once by every later call-back, which applies it before any work of the old
    // project's page (the palette's CatchUpWithProject).
    if (eventId == 1 || eventId == 2 || eventId == 4) NoteProjectChange();
    return kHostOk;
}

namespace {
void ControlPalette(int32_t message, intptr_t parameter) {
    Palette* palette = gPalette.get();
    switch (message) {
        case 1:
            if (palette) palette->Window().Hide();
            break;
        case 2:
            if (palette && palette->Window().IsVisible()) {
                gHideRemembered = true;
                palette->Window().Hide();
            } else {
                gHideRemembered = false;
            }
            break;
        case 3:
            if (gHideRemembered && palette) palette->Window().Show(-32768);
            gHideRemembered = false;
            break;
        case 4:
            if (palette) palette->Window().DisableItems();
            break;
        case 5:
            if (palette) palette->Window().EnableItems();
            break;
        case 6:
            OpenPalette();
            break;
        case 7:
            if (parameter != 0) *reinterpret_cast<bool*>(parameter) = palette && palette->Window().IsVisible();
            break;
        default:
            break;
    }
}
}  // namespace
