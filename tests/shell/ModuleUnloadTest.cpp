// The module file loaded the way a host loads it, released and unloaded while a service request's
// worker still runs, then loaded again: the worker finishes under the unloaded module without a
// crash, and its late answer reaches neither the old palette nor the new one. On Windows the
// worker's own reference keeps the module mapped until its last act, so the second load finds the
// same module still loaded and starts it afresh.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "shell/UnloadFixture.h"
#include "sim/host/ModuleLoader.h"
#include "sim/host/SimHost.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A host running the module file, its palette open, pointed at the service.
struct LoadedHost {
    explicit LoadedHost(const UnloadFixture& fixture) {
        std::string error;
        module = LoadAddonModule(TOVR_MODULE_FILE, &error);
        if (!module) throw std::runtime_error(error);
        host = std::make_unique<SimHost>(module->Entry());
        host->UseService(fixture.Port(), fixture.CaFile());
        if (!host->Start()) throw std::runtime_error("the add-on did not start");
        host->OpenPaletteFromMenu();
        host->FinishPageLoad();
    }
    std::unique_ptr<LoadedModule> module;
    std::unique_ptr<SimHost> host;
};

TEST(ModuleUnload, AWorkerOutlivesReleaseAndUnloadWithoutReachingTheNextLoad) {
    const std::unique_ptr<UnloadFixture> fixture = UnloadFixture::Start();
    // The sign-in answer comes late: its worker is still waiting when the module is unloaded.
    fixture->Script(ScriptedAnswer::Status(200, R"({"token":"late-sign-in-token"})")
                       .After(std::chrono::milliseconds(1500))
                       .For("/api/v1/device/token"));

    {
        LoadedHost first(*fixture);
        first.host->Page()->Post(
            R"({"id":"t","type":"api","payload":{"method":"POST","path":"/api/v1/device/token","body":{"device_code":"d"}}})");
        if (!fixture->WaitForRequests(1, std::chrono::seconds(20))) {
            // What became of it: the host turns, so that a failed request's reply is delivered
            // and logged.
            for (int i = 0; i < 100; ++i) {
                first.host->Turn();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            const auto replies = first.host->Page()->RepliesTo("t");
            FAIL() << "no request reached the service in 20 s; the reply: "
                   << (replies.empty() ? std::string("none") : replies.front()->json) << "; the add-on's log:\n"
                   << ReadText(fixture->DataFolder() / "host.log");
        }
        const auto before = first.host->clock.Elapsed();
        EXPECT_EQ(first.host->Release(), 0);
        EXPECT_EQ(first.host->clock.Elapsed() - before, std::chrono::milliseconds(3000))
            << "release waits about three seconds, then returns with the worker still running";
        EXPECT_TRUE(first.host->Page() == nullptr || first.host->Page()->RepliesTo("t").empty());
        first.host.reset();
        first.module.reset();  // the host unloads the module file
    }

    // Loaded again, with a new palette open before the late answer arrives.
    LoadedHost second(*fixture);
    ASSERT_NE(second.host->Page(), nullptr);
    // The late answer comes 1.5 s after the request; the worker finds its Mailbox closed, so it
    // neither saves the token nor posts its sign-in step, and ends. Its answer is awaited in real
    // time, with the new palette running meanwhile.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    while (std::chrono::steady_clock::now() < until) {
        second.host->Turn();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(fs::exists(fixture->DataFolder() / "token.dpapi"))
        << "the late sign-in leaves no token for the next load";
    EXPECT_TRUE(second.host->Page()->Messages().empty()) << "no late reply reaches the new page";
    second.host->Page()->Post(R"({"id":"g","type":"getState"})");
    const auto replies = second.host->Page()->RepliesTo("g");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_NE(replies[0]->json.find(R"("authenticated":false)"), std::string::npos)
        << "the late sign-in step never signs in the new palette: " << replies[0]->json;
    EXPECT_EQ(ReadText(fixture->DataFolder() / "host.log").find("signed in;"), std::string::npos);
    EXPECT_EQ(ReadText(fixture->DataFolder() / "host.log").find("late-sign-in-token"), std::string::npos);
    EXPECT_EQ(second.host->Release(), 0);
}

TEST(ModuleUnload, AWorkerThatEndsAfterTheUnloadHoldsTheModuleUntilItsLastAct) {
    const std::unique_ptr<UnloadFixture> fixture = UnloadFixture::Start();
    fixture->Script(ScriptedAnswer::Status(200, R"({"configured":true})")
                        .After(std::chrono::milliseconds(1500))
                        .For("/api/v1/plugin/config"));
    std::chrono::steady_clock::time_point asked;
    {
        LoadedHost loaded(*fixture);
        loaded.host->Page()->Post(R"({"id":"c","type":"api","payload":{"method":"GET","path":"/api/v1/plugin/config"}})");
        ASSERT_TRUE(fixture->WaitForRequests(1, std::chrono::seconds(20)));
        asked = std::chrono::steady_clock::now();
        EXPECT_EQ(loaded.host->Release(), 0);
        loaded.host.reset();
        loaded.module.reset();  // the host unloads the module file
    }
    EXPECT_TRUE(fixture->ModuleMapped(TOVR_MODULE_FILE)) << "the worker still waiting for its answer holds the module";
    if (fixture->ModuleStaysMapped()) {
        // The worker's end cannot be seen from here; outliving its answer without a crash is the test.
        std::this_thread::sleep_for(std::chrono::milliseconds(3500));
        EXPECT_TRUE(fixture->ModuleMapped(TOVR_MODULE_FILE));
        return;
    }
    // The worker gives its reference back as it ends, after its answer has come; then the
    // module goes, with no code of it left running.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (fixture->ModuleMapped(TOVR_MODULE_FILE) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(fixture->ModuleMapped(TOVR_MODULE_FILE)) << "the worker gave its reference back";
    EXPECT_GE(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(1400))
        << "the module stayed until the worker had its answer";
}

}  // namespace
