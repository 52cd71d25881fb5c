// Benchmark of a 512 MiB binary upload through RunApi to the standalone simulated service
// (tamsel-service, in a process of its own, so that its copy of the body does not count): the
// time, and the growth of this process's peak resident memory above its idle level, against the
// file's size (target <= 1.1: the body is held once, never copied).
//   upload_memory_bench                 one upload, 3 repetitions
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "handlers/service/ApiRequest.h"
#include "panel/Mailbox.h"
#include "platform/Http.h"
#include "platform/UserFolders.h"
#include "sim/service/ServiceControl.h"
#include "store/FileStore.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {
constexpr uint64_t kUploadBytes = uint64_t{512} << 20;

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
    return -1;
}

// The standalone service, started and stopped by this program.
class ServiceProcess {
public:
    explicit ServiceProcess(const fs::path& stateDir) {
        const std::string dir = stateDir.string();
        std::vector<std::string> args = {TOVR_SERVICE_PROGRAM, "--state-dir", dir, "--lifetime", "900"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, TOVR_SERVICE_PROGRAM, nullptr, nullptr, argv.data(), environ) != 0) pid_ = 0;
        for (int i = 0; i < 400 && pid_ != 0; ++i) {
            if (auto found = ReadServiceEndpoints(stateDir)) {
                endpoints = *found;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    ~ServiceProcess() {
        if (pid_ == 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;
    ServiceEndpoints endpoints;

private:
    pid_t pid_ = 0;
};

void Upload512MiB(benchmark::State& state) {
    char folder[] = "/tmp/upload-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) return state.SkipWithError("no scratch folder");
    const fs::path root = folder;
    SetUserFoldersForTesting((root / "data").string(), (root / "config").string());
    double worst = 0;
    {
        ServiceProcess service(root / "service");
        if (service.endpoints.servicePort == 0) return state.SkipWithError("tamsel-service did not start");
        SetServiceEndpoint({service.endpoints.servicePort, service.endpoints.caPemFile.string()});
        ServiceControl control(service.endpoints.controlPort);
        const std::string token = control.IssueToken();

        // The stored file, written a piece at a time so that it is never whole in this process.
        const std::string ref = NewFileRef("cap");
        {
            std::ofstream out(FileRefPath(ref, ".dat"), std::ios::binary);
            std::string piece(size_t{1} << 20, '\0');
            for (uint64_t at = 0; at < kUploadBytes; at += piece.size()) {
                for (size_t i = 0; i < piece.size(); i += 4096) piece[i] = static_cast<char>((at + i) >> 12);
                out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            }
        }
        ApiJob job;
        job.tag.id = "u";
        job.method = "POST";
        job.path = "/api/v1/uploads";
        job.binary = true;
        job.fileRef = ref;
        job.contentType = "video/mp4";
        job.filename = "walkthrough.mp4";
        const SecretString secret{std::string(token)};
        for (auto _ : state) {
            state.PauseTiming();
            control.Reset();
            auto mailbox = std::make_shared<Mailbox>();
            std::ofstream("/proc/self/clear_refs") << "5";
            const long idle = StatusKb("VmRSS:");
            state.ResumeTiming();
            RunApi(mailbox, job, secret, u"en", false);
            state.PauseTiming();
            const double growth = static_cast<double>(StatusKb("VmHWM:") - idle) * 1024.0;
            worst = std::max(worst, growth / static_cast<double>(kUploadBytes));
            const auto uploads = control.Uploads();
            if (TakeAll(*mailbox).size() != 1 || uploads.empty() || uploads.back().size != kUploadBytes)
                state.SkipWithError("the upload did not arrive whole");
            state.ResumeTiming();
        }
        SetServiceEndpoint({});
    }
    state.counters["peak_over_size"] = worst;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kUploadBytes));
    std::error_code ignored;
    fs::remove_all(root, ignored);
}
BENCHMARK(Upload512MiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
}  // namespace

BENCHMARK_MAIN();
