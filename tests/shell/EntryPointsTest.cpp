// The entry points as the host calls them: registration, resources, the menu command, and what
// the add-on gets with no host at all.
#include <gtest/gtest.h>

#include "host/AddonResources.h"
#include "panel/Language.h"
#include "shell/Shell.h"
#include "support/Harness.h"

namespace {

TEST(Registration, TellsTheHostItsNameServiceMenuAndPalette) {
    Harness h(false);
    SimHost& host = h.host();
    EXPECT_EQ(host.addonName, "Tamsel Ovra");
    EXPECT_EQ(host.addonDescription, "Tamsel Ovra para Archicad");
    EXPECT_EQ(host.supportedServices, std::vector<uint32_t>{FourCharCode("TOVR")});
    EXPECT_EQ(host.registeredMenus, std::vector<int32_t>{32500});
    EXPECT_NE(host.menuHandler, nullptr);
    EXPECT_NE(host.moduleCommandHandler, nullptr);
    EXPECT_TRUE(host.paletteRegistered);
    EXPECT_EQ(static_cast<uint32_t>(host.paletteRefId), 0xA43500FCu);
    EXPECT_EQ(host.paletteFlags, 1015u);
    EXPECT_EQ(host.paletteGuid.ToText(), "{1D9C7B8D-3AA7-4C11-8D68-0A053BE27C35}");
    // Nothing is open until the user asks.
    EXPECT_EQ(host.Palette(), nullptr);
    EXPECT_FALSE(host.keepInMemory);
}

TEST(Registration, InterfaceRegistrationReportsTheMenuErrorFirst) {
    {
        Harness h(false);
        h.host().FailOperation("RegisterSupportedService", kHostErrRefused);
        EXPECT_EQ(h.host().RegisterInterface(), kHostErrRefused);
    }
    {
        Harness h(false);
        h.host().FailOperation("RegisterSupportedService", kHostErrRefused);
        h.host().FailOperation("RegisterMenu", kHostErrNotFound);
        EXPECT_EQ(h.host().RegisterInterface(), kHostErrNotFound);
    }
}

TEST(Registration, WithoutAMenuHandlerThePaletteIsNotRegistered) {
    Harness h(false);
    h.host().paletteRegistered = false;
    h.host().FailOperation("InstallMenuHandler", kHostErrRefused);
    EXPECT_EQ(h.host().Initialize(), kHostErrRefused);
    EXPECT_FALSE(h.host().paletteRegistered);
}

TEST(Registration, AFailedModuleCommandHandlerDoesNotStopInitialisation) {
    Harness h(false);
    h.host().FailOperation("InstallModuleCommandHandler", kHostErrRefused);
    EXPECT_EQ(h.host().Initialize(), kHostOk);
    EXPECT_TRUE(h.host().paletteRegistered);
}

TEST(Registration, TheApplicationLanguageOverridesTheEnvironmentRecord) {
    Harness h(false);
    h.host().languageCode = "SPA";
    EXPECT_EQ(h.host().Initialize(), kHostOk);
    EXPECT_EQ(uiLanguage, u"es");
    h.host().languageCode = "BRA";
    h.host().FailOperation("GetApplicationInfo", kHostErrRefused);
    EXPECT_EQ(h.host().Initialize(), kHostOk);
    EXPECT_EQ(uiLanguage, u"es") << "a failed query leaves the language as it was";
    uiLanguage = u"en";
}

TEST(Resources, HoldTheTextsDialogIconsAndVersionTheHostReads) {
    const AddonResources& r = ModuleResources();
    EXPECT_EQ(r.languageId, 1033);
    EXPECT_EQ(r.version, "1.1.0.0");
    EXPECT_EQ(r.String(32000, 1), "Tamsel Ovra");
    EXPECT_EQ(r.String(32000, 2), "Tamsel Ovra para Archicad");
    EXPECT_EQ(r.String(32500, 1), "Tamsel");
    EXPECT_EQ(r.String(32500, 2), "Ovra");
    EXPECT_EQ(r.String(32500, 3), "Abrir Ovra^ES^EE^EI^ED^EW^E3^EL");
    EXPECT_EQ(r.String(32500, 4), "");
    EXPECT_EQ(r.String(32500, 0), "");
    const ResourceDialog* dialog = r.Dialog(32600);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->title, "Tamsel Ovra");
    EXPECT_EQ(dialog->width, 360);
    EXPECT_EQ(dialog->height, 640);
    EXPECT_EQ(dialog->helpAnchor, "Ovra_Palette");
    ASSERT_EQ(dialog->items.size(), 1u);
    EXPECT_EQ(dialog->items[0].id, 1);
    EXPECT_EQ(dialog->items[0].type, "browser");
    EXPECT_EQ(dialog->items[0].width, 360);
    EXPECT_EQ(dialog->items[0].height, 640);
    EXPECT_EQ(dialog->items[0].helpAnchor, "Browser_0");
    EXPECT_EQ(r.moduleIdResource, 32500);
    std::vector<std::string> names;
    for (const auto& icon : r.icons) {
        names.push_back(icon.name);
        // Each is a real PNG of the size its DPI asks for: 20 px at 96 dpi, 40 px at 192.
        ASSERT_GT(icon.pngSize, 24u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(icon.png) + 1, 3), "PNG");
        const uint32_t width = (uint32_t{icon.png[16]} << 24) | (uint32_t{icon.png[17]} << 16) |
                               (uint32_t{icon.png[18]} << 8) | icon.png[19];
        EXPECT_EQ(width, icon.dpi == 96 ? 20u : 40u) << icon.name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"I32601&96", "I32601&96&D", "I32601&192", "I32601&192&D"}));
}

TEST(NoHost, EveryOperationYieldsTheMissingTableCode) {
    InstallHost(nullptr);
    ProjectInfo project;
    NativeWindowHandle window = 0;
    std::unique_ptr<PaletteWindow> palette;
    EXPECT_EQ(Host().GetProjectInfo(&project), kHostErrNoHost);
    EXPECT_EQ(Host().GetMainWindow(&window), kHostErrNoHost);
    EXPECT_EQ(Host().CreatePaletteWindow({}, &palette), kHostErrNoHost);
    EXPECT_EQ(Host().CallFromEventLoop({}, FourCharCode("TOVR"), 1, true), kHostErrNoHost);
    EXPECT_EQ(Host().Redraw3D(), kHostErrNoHost);
    // The entry points pass the code on, and the menu command opens nothing.
    EXPECT_EQ(RegisterInterface(), kHostErrNoHost);
    EXPECT_EQ(Initialize(), kHostErrNoHost);
    OnMenuCommand({32500, 1});
    EXPECT_EQ(CurrentPalette(), nullptr);
    EXPECT_EQ(FreeData(), kHostOk);
}

TEST(MenuCommand, OnlyItemOneOfTheAddOnsMenuOpensThePalette) {
    Harness h(false);
    h.host().MenuCommand(32501, 1);
    h.host().MenuCommand(32500, 2);
    h.host().MenuCommand(32500, 0);
    EXPECT_EQ(h.host().Palette(), nullptr);
    h.host().MenuCommand(32500, 1);
    ASSERT_NE(h.host().Palette(), nullptr);
    EXPECT_TRUE(h.host().Palette()->visible);
    EXPECT_EQ(h.host().Palette()->lastShowPosition, -32768);
    EXPECT_TRUE(h.host().keepInMemory);
    EXPECT_EQ(h.host().projectEventMask, 7u);
}

TEST(MenuCommand, ReopeningAHiddenPaletteShowsTheSameOneWithoutResizingOrMoving) {
    Harness h;
    SimPaletteWindow* window = h.host().Palette();
    Palette* palette = &h.palette();
    h.host().windows.UserMove(window->Handle(), 40, 50);
    const int sizeCalls = window->clientSizeCalls;
    h.host().PaletteMessage(1);
    EXPECT_FALSE(window->visible);
    h.host().OpenPaletteFromMenu();
    EXPECT_EQ(h.host().Palette(), window);
    EXPECT_EQ(&h.palette(), palette);
    EXPECT_TRUE(window->visible);
    EXPECT_EQ(window->clientSizeCalls, sizeCalls);
    WindowRect rect;
    ASSERT_TRUE(h.host().windows.GetRect(window->Handle(), &rect));
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.top, 50);
}

TEST(MenuCommand, AFailedProjectEventInstallationIsRetriedAtTheNextOpen) {
    Harness h(false);
    h.host().FailOperation("CatchProjectEvents", kHostErrRefused, true);
    h.host().OpenPaletteFromMenu();
    EXPECT_EQ(h.host().projectEventHandler, nullptr);
    h.host().OpenPaletteFromMenu();
    EXPECT_NE(h.host().projectEventHandler, nullptr);
}

TEST(MenuCommand, APaletteWindowTheHostCannotMakeLeavesNoPalette) {
    Harness h(false);
    h.host().FailOperation("CreatePaletteWindow", kHostErrOutOfMemory, true);
    h.host().OpenPaletteFromMenu();
    EXPECT_EQ(CurrentPalette(), nullptr);
    h.host().OpenPaletteFromMenu();
    EXPECT_NE(CurrentPalette(), nullptr);
}

}  // namespace
