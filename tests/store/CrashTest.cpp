// A writer killed at random moments leaves each file old or new but whole; a stray temporary
// file is the only possible leftover.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <random>
#include <thread>

#include "store/TokenStore.h"
#include "support/ScratchFolders.h"

namespace fs = std::filesystem;

extern char** environ;

namespace {
constexpr int kRounds = 40;

pid_t StartChild(const std::string& target, const ScratchFolders& folders) {
    std::vector<std::string> env = {"XDG_DATA_HOME=" + folders.dataRoot().string(),
                                    "XDG_CONFIG_HOME=" + folders.configRoot().string()};
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string(*e).rfind("XDG_", 0) != 0) env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = TOVR_CRASH_CHILD;
    char* argv[] = {program.data(), const_cast<char*>(target.c_str()), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
    return pid;
}

TEST(Crash, AKilledWriterLeavesEveryFileOldOrNewButWhole) {
    ScratchFolders folders;
    const fs::path out = folders.root() / "out";
    fs::create_directories(out);
    const std::string target = (out / "picture.jpg").string();
    const fs::path tokenFile = folders.dataFolder() / "token.dpapi";
    std::mt19937 random(12345);
    int killedMidWrite = 0;
    for (int round = 0; round < kRounds; ++round) {
        const pid_t child = StartChild(target, folders);
        ASSERT_GT(child, 0);
        // The first round waits for both files to exist, so every check has something to see.
        for (int i = 0; i < 5000 && !(fs::exists(target) && fs::exists(tokenFile)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << status;

        const std::string content = ReadFileText(target);
        const bool whole = content == std::string(300 * 1024, 'a') || content == std::string(200 * 1024, 'b');
        EXPECT_TRUE(whole) << "round " << round << ": " << content.size() << " bytes";
        const std::string token = TokenStore().Load();
        EXPECT_TRUE(token == "token-one" || token == "token-two") << "round " << round;
        for (const fs::path& folder : {out, folders.dataFolder()}) {
            for (const auto& e : fs::directory_iterator(folder)) {
                const std::string name = e.path().filename().string();
                if (name == "picture.jpg" || name == "token.dpapi") continue;
                const bool stray = (name.rfind("toh", 0) == 0 || name.rfind("tot", 0) == 0) &&
                                   name.size() > 4 && name.substr(name.size() - 4) == ".tmp";
                EXPECT_TRUE(stray) << "round " << round << " left " << name;
                if (stray) ++killedMidWrite;
            }
        }
    }
    // Not asserted: how often a kill lands mid-write depends on the machine.
    RecordProperty("killed_mid_write", killedMidWrite);
}

}  // namespace
