// The host contract of the add-on's life: the registrations of its load, keeping the module
// loaded, project events, the application's language, the palette window and the main window.
#include <cctype>

#include "host/ContractCase.h"

namespace {

using HostContractLoad = HostContract;

HostError NoProjectEvent(int32_t, int32_t) { return kHostOk; }

TEST_F(HostContractLoad, EveryRegistrationOfTheLoadWithTheAddonsArgumentsAnswersZero) {
    const ContractLoad& load = LoadResults();
    EXPECT_EQ(load.service, kHostOk) << "RegisterSupportedService('TOVR', 1)";
    EXPECT_EQ(load.menu, kHostOk) << "RegisterMenu(resources, 32500, 0, 0, 0)";
    EXPECT_EQ(load.menuHandler, kHostOk) << "InstallMenuHandler(32500)";
    EXPECT_EQ(load.moduleCommand, kHostOk) << "InstallModuleCommandHandler('TOVR', 1)";
    EXPECT_EQ(load.palette, kHostOk) << "RegisterPalette(reference id, 1015, GUID)";
}

TEST_F(HostContractLoad, ThePaletteUnregistersAndRegistersAgainUnderItsGuid) {
    if (!world.RegistersAfterLoad()) GTEST_SKIP() << "this host takes registrations only while it loads a module";
    EXPECT_EQ(host.UnregisterPalette(kContractPaletteRefId), kHostOk);
    EXPECT_EQ(host.RegisterPalette(kContractPaletteRefId, ContractPaletteControl, kContractPaletteFlags,
                                   kContractPaletteGuid),
              kHostOk);
}

TEST_F(HostContractLoad, KeepingTheModuleInMemoryAnswersZeroEachTime) {
    EXPECT_EQ(host.KeepInMemory(true), kHostOk);
    EXPECT_EQ(host.KeepInMemory(true), kHostOk) << "every palette open asks again";
}

TEST_F(HostContractLoad, ProjectEventsCanBeCaughtAgainWithTheSameMaskAndHandler) {
    // New (1), reset (2) and open (4); the add-on asks again at each open of the palette.
    EXPECT_EQ(host.CatchProjectEvents(7, NoProjectEvent), kHostOk);
    EXPECT_EQ(host.CatchProjectEvents(7, NoProjectEvent), kHostOk);
}

TEST_F(HostContractLoad, TheApplicationsLanguageIsThreeUpperCaseLetters) {
    ApplicationInfo info;
    ASSERT_EQ(host.GetApplicationInfo(&info), kHostOk);
    EXPECT_EQ(info.languageCode, world.LanguageCode());
    ASSERT_EQ(info.languageCode.size(), 3u);
    for (const char c : info.languageCode) EXPECT_TRUE(std::isupper(static_cast<unsigned char>(c))) << info.languageCode;
}

TEST_F(HostContractLoad, ThePaletteWindowFromTheDialogHoldsABrowserAndShows) {
    std::unique_ptr<PaletteWindow> window;
    ASSERT_EQ(host.CreatePaletteWindow({&world.Resources(), kContractDialogId, kContractIconId, kContractPaletteGuid},
                                       &window),
              kHostOk);
    ASSERT_NE(window, nullptr);
    EXPECT_NE(window->Handle(), NativeWindowHandle{0});
    window->BrowserItem().LoadHtml(u"<p>contract</p>");
    window->Show(-32768);
    EXPECT_TRUE(window->IsVisible());
    window->Hide();
    EXPECT_FALSE(window->IsVisible());
}

TEST_F(HostContractLoad, APaletteWindowOfADialogTheModuleLacksIsRefusedOrNull) {
    std::unique_ptr<PaletteWindow> window;
    const HostError result =
        host.CreatePaletteWindow({&world.Resources(), kContractDialogId + 1, kContractIconId, kContractPaletteGuid},
                                 &window);
    EXPECT_TRUE(result != kHostOk || window == nullptr) << "a dialog that is not there made a window";
    EXPECT_EQ(window, nullptr);
}

TEST_F(HostContractLoad, TheMainWindowIsAWindow) {
    NativeWindowHandle main = 0;
    ASSERT_EQ(host.GetMainWindow(&main), kHostOk);
    EXPECT_NE(main, NativeWindowHandle{0});
    NativeWindowHandle again = 0;
    ASSERT_EQ(host.GetMainWindow(&again), kHostOk);
    EXPECT_EQ(again, main) << "the same window each time";
}

TEST_F(HostContractLoad, TheProjectIsTheOneOpen) {
    const ProjectInfo expected = world.Project();
    ProjectInfo info;
    ASSERT_EQ(host.GetProjectInfo(&info), kHostOk);
    EXPECT_EQ(info.untitled, expected.untitled);
    EXPECT_EQ(info.hasName, expected.hasName);
    EXPECT_EQ(info.name, expected.name);
    EXPECT_EQ(info.hasPath, expected.hasPath);
    EXPECT_EQ(info.path, expected.path);
    if (!info.untitled) {
        EXPECT_TRUE(info.hasPath && !info.path.empty()) << "a saved project has its file";
    }
}

}  // namespace
