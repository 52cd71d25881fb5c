// The module file loaded the way a host loads it, released and unloaded while a service request's
// worker still runs, then loaded again: the worker finishes under the unloaded module without a
// crash, and its late answer reaches neither the old palette nor the new one.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "sim/host/ModuleLoader.h"
#include "sim/host/SimHost.h"
#include "sim/service/SimService.h"

namespace fs = std::filesystem;

namespace {

// Scratch data and configuration roots for the module, which reads them from the environment.
class ScratchRoots {
public:
    ScratchRoots() {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("tovr-unload-" + std::to_string(random()));
        fs::create_directories(root_ / "data");
        fs::create_directories(root_ / "config");
        ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    }
    ~ScratchRoots() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    fs::path Log() const { return root_ / "data" / "Ovra for Archicad" / "host.log"; }
    fs::path root() const { return root_; }

private:
    fs::path root_;
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A host running the module file, its palette open, pointed at the service.
struct LoadedHost {
    LoadedHost(const SimService& service, const std::string& caFile) {
        std::string error;
        module = LoadAddonModule(TOVR_MODULE_FILE, &error);
        if (!module) throw std::runtime_error(error);
        host = std::make_unique<SimHost>(module->Entry());
        host->UseService(service.Port(), caFile);
        if (!host->Start()) throw std::runtime_error("the add-on did not start");
        host->OpenPaletteFromMenu();
        host->FinishPageLoad();
    }
    std::unique_ptr<LoadedModule> module;
    std::unique_ptr<SimHost> host;
};

TEST(ModuleUnload, AWorkerOutlivesReleaseAndUnloadWithoutReachingTheNextLoad) {
    ScratchRoots roots;
    const TestPki pki = MakeTestPki();
    const std::string caFile = (roots.root() / "ca.pem").string();
    WriteCaPem(pki, caFile);
    SimService service(pki);
    service.Start();
    // The sign-in answer comes late: its worker is still waiting when the module is unloaded.
    service.Script(ScriptedAnswer::Status(200, R"({"token":"late-sign-in-token"})")
                       .After(std::chrono::milliseconds(1500))
                       .For("/api/v1/device/token"));

    {
        LoadedHost first(service, caFile);
        first.host->Page()->Post(
            R"({"id":"t","type":"api","payload":{"method":"POST","path":"/api/v1/device/token","body":{"device_code":"d"}}})");
        ASSERT_TRUE(service.WaitForRequests(1, std::chrono::seconds(20)));
        const auto before = first.host->clock.Elapsed();
        EXPECT_EQ(first.host->Release(), 0);
        EXPECT_EQ(first.host->clock.Elapsed() - before, std::chrono::milliseconds(3000))
            << "release waits about three seconds, then returns with the worker still running";
        EXPECT_TRUE(first.host->Page() == nullptr || first.host->Page()->RepliesTo("t").empty());
        first.host.reset();
        first.module.reset();  // the host unloads the module file
    }

    // Loaded again, with a new palette open before the late answer arrives.
    LoadedHost second(service, caFile);
    ASSERT_NE(second.host->Page(), nullptr);
    // The late answer comes 1.5 s after the request; the worker finds its Mailbox closed, so it
    // neither saves the token nor posts its sign-in step, and ends. Its answer is awaited in real
    // time, with the new palette running meanwhile.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    while (std::chrono::steady_clock::now() < until) {
        second.host->Turn();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(fs::exists(roots.root() / "data" / "Ovra for Archicad" / "token.dpapi"))
        << "the late sign-in leaves no token for the next load";
    EXPECT_TRUE(second.host->Page()->Messages().empty()) << "no late reply reaches the new page";
    second.host->Page()->Post(R"({"id":"g","type":"getState"})");
    const auto replies = second.host->Page()->RepliesTo("g");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_NE(replies[0]->json.find(R"("authenticated":false)"), std::string::npos)
        << "the late sign-in step never signs in the new palette: " << replies[0]->json;
    EXPECT_EQ(ReadText(roots.Log()).find("signed in;"), std::string::npos);
    EXPECT_EQ(ReadText(roots.Log()).find("late-sign-in-token"), std::string::npos);
    EXPECT_EQ(second.host->Release(), 0);
}

}  // namespace
