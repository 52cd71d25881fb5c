// The fault soak: rounds of requests of every type from several threads against the simulated
// host and service while operations fail at random, each round checked for one reply per
// request, no leftover temporary file, no token outside its protected file, and a model and a
// store that agree with the replies.
//
// TOVR_SOAK_SEED     the first round's seed (default: a random one); round n uses seed + n
// TOVR_SOAK_SECONDS  rounds start until this much real time has passed (default 15)
// TOVR_SOAK_ROUNDS   at most this many rounds (default: no limit)
// TOVR_SOAK_REQUESTS requests a round (default 160)
// A failing round prints its seed; TOVR_SOAK_SEED=<it> TOVR_SOAK_ROUNDS=1 runs it again (the
// threads' interleaving aside).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "panel/Mailbox.h"
#include "sim/service/SimService.h"
#include "soak/SoakRound.h"
#include "support/FaultyFiles.h"
#include "support/ScopedEnvironment.h"

namespace fs = std::filesystem;

namespace {

uint64_t Setting(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    return std::strtoull(text, nullptr, 10);
}

// A new folder under the system's temporary folder, removed with its content.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::random_device random;
        path_ = fs::temp_directory_path() / ("tovr-soak-tmp-" + std::to_string(random()));
        fs::create_directories(path_);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// The simulated service for the whole soak, with its CA in a folder of its own.
class SoakService {
public:
    SoakService() : pki_(MakeTestPki()), service_(pki_, Options()) {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("tovr-soak-" + std::to_string(random()));
        fs::create_directories(folder_);
        WriteCaPem(pki_, folder_ / "ca.pem");
        service_.Start();
    }
    ~SoakService() {
        service_.Stop();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    SimService& service() { return service_; }
    std::string caFile() const { return (folder_ / "ca.pem").string(); }

private:
    static SimService::Options Options() {
        SimService::Options options;
        options.lifetime = std::chrono::hours(24);
        return options;
    }
    TestPki pki_;
    SimService service_;
    fs::path folder_;
};

TEST(FaultSoak, EveryRequestIsAnsweredOnceAndNothingIsLeftBroken) {
    const uint64_t seed = Setting("TOVR_SOAK_SEED", std::random_device()() | uint64_t{std::random_device()()} << 32);
    const auto budget = std::chrono::seconds(Setting("TOVR_SOAK_SECONDS", 15));
    const uint64_t maxRounds = Setting("TOVR_SOAK_ROUNDS", 0);
    std::printf("fault soak: seed %llu, %lld s%s\n", static_cast<unsigned long long>(seed),
                static_cast<long long>(budget.count()), maxRounds ? ", limited rounds" : "");
    std::fflush(stdout);
    RecordProperty("seed", std::to_string(seed));

    // The user's temporary folder is the soak's own, set before any thread starts.
    const TemporaryFolder temp;
    const ScopedEnvironment tmpdir("TMPDIR", temp.path().string());
    // Installed before the rounds and removed after them: workers of a round may still be inside
    // a file call when it ends.
    FaultyFiles files;
    SoakService service;
    SoakEnvironment environment{service.service(), service.caFile(), files, temp.path(),
                                static_cast<int>(Setting("TOVR_SOAK_REQUESTS", 160))};
    SoakCounts total;
    std::vector<std::string> violations;
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t round = 0; (maxRounds == 0 || round < maxRounds) && (round == 0 || std::chrono::steady_clock::now() - start < budget);
         ++round) {
        const size_t before = violations.size();
        total.Add(RunSoakRound(environment, seed + round, &violations));
        for (size_t i = before; i < violations.size() && i < 40; ++i) ADD_FAILURE() << violations[i];
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    std::printf("fault soak: seeds %llu to %llu, %lld s\n%s", static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(seed + total.rounds - 1), static_cast<long long>(seconds.count()),
                total.Report().c_str());
    RecordProperty("requests", std::to_string(total.requests));
    RecordProperty("violations", std::to_string(total.violations));
    EXPECT_EQ(total.violations, 0u);
    EXPECT_GT(total.requests, 0u);
    EXPECT_EQ(ProcessMailbox()->workers.load(), 0);
}

}  // namespace
