// Benchmarks of the service client against the simulated service on loopback:
//   - a 32 MiB download through the transport (CallService, nothing stored) beside the curl
//     program fetching the same address in the same run, and the whole binary GET through RunApi
//     (stored under a file reference, its data URL made) beside them, for the same bytes and for
//     a picture whose JPEG preview is made;
//   - the machine's memcpy bandwidth, as the floor against which the copies above are read.
//   service_bench                       all of them, 5 repetitions each, and the ratios
//   service_bench --benchmark_filter=X  any Google Benchmark flag
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchMedians.h"
#include "handlers/service/ApiRequest.h"
#include "handlers/service/ServiceCall.h"
#include "panel/Mailbox.h"
#include "platform/Http.h"
#include "platform/UserFolders.h"
#include "sim/service/ResultPicture.h"
#include "sim/service/SimService.h"

namespace fs = std::filesystem;

namespace {
constexpr uint64_t kDownloadBytes = uint64_t{32} << 20;

struct Loopback {
    fs::path folder;
    TestPki pki = MakeTestPki();
    std::unique_ptr<SimService> service;
    std::string picture;  // a large PNG, served for the preview case
};

Loopback& Service() {
    static Loopback* loopback = [] {
        auto* l = new Loopback;
        char folder[] = "/tmp/service-bench-XXXXXX";
        if (::mkdtemp(folder) == nullptr) std::abort();
        l->folder = folder;
        WriteCaPem(l->pki, l->folder / "ca.pem");
        l->service = std::make_unique<SimService>(l->pki);
        l->service->Start();
        SetServiceEndpoint({l->service->Port(), (l->folder / "ca.pem").string()});
        SetUserFoldersForTesting((l->folder / "data").string(), (l->folder / "config").string());
        // A 3000 x 2000 photograph-like picture: smooth gradients under fine noise.
        RgbPicture p;
        p.width = 3000;
        p.height = 2000;
        p.pixels.resize(static_cast<size_t>(p.width) * static_cast<size_t>(p.height) * 3);
        std::mt19937 random(7);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                for (int c = 0; c < 3; ++c)
                    p.pixels[(static_cast<size_t>(y) * static_cast<size_t>(p.width) + static_cast<size_t>(x)) * 3 +
                             static_cast<size_t>(c)] =
                        static_cast<uint8_t>((x * (c + 1) / 16 + y / 12 + static_cast<int>(random() % 24)) & 0xFF);
        l->picture = EncodePng(p);
        return l;
    }();
    return *loopback;
}

// The transport alone: the exchange and the body held in memory.
void TransportDownload(benchmark::State& state) {
    Loopback& l = Service();
    for (auto _ : state) {
        state.PauseTiming();
        l.service->Reset();
        l.service->Script(ScriptedAnswer::Generated(kDownloadBytes));
        state.ResumeTiming();
        const HttpResponse r = CallService(u"GET", "/files/job_1/result.bin", "t", u"en", "", u"", 180000);
        if (r.body.size() != kDownloadBytes) state.SkipWithError("short body");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDownloadBytes));
}
BENCHMARK(TransportDownload)->Unit(benchmark::kMillisecond)->UseRealTime();

// The curl program fetching the same address into /dev/null: process start, TLS and the body.
void CurlProgramDownload(benchmark::State& state) {
    Loopback& l = Service();
    const std::string command = "curl -sS --fail -o /dev/null --cacert '" + (l.folder / "ca.pem").string() +
                                "' --connect-to app.ovra.example:443:127.0.0.1:" + std::to_string(l.service->Port()) +
                                " https://app.ovra.example/files/job_1/result.bin";
    for (auto _ : state) {
        state.PauseTiming();
        l.service->Reset();
        l.service->Script(ScriptedAnswer::Generated(kDownloadBytes));
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) state.SkipWithError("curl failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDownloadBytes));
}
BENCHMARK(CurlProgramDownload)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole binary GET as the page asks for it: exchange, store, data URL, completion posted.
void RunApiGet(benchmark::State& state, const std::string* body) {
    Loopback& l = Service();
    ApiJob job;
    job.tag.id = "d";
    job.method = "GET";
    job.path = "/files/job_1/result.png";
    job.binary = true;
    const SecretString token(std::string("t"));
    for (auto _ : state) {
        state.PauseTiming();
        l.service->Reset();
        l.service->Script(body ? ScriptedAnswer::Status(200, *body) : ScriptedAnswer::Generated(kDownloadBytes));
        auto mailbox = std::make_shared<Mailbox>();
        state.ResumeTiming();
        RunApi(mailbox, job, token, u"en", false);
        state.PauseTiming();
        if (TakeAll(*mailbox).size() != 1) state.SkipWithError("no completion");
        std::error_code ignored;
        fs::remove_all(l.folder / "data" / "Ovra for Archicad" / "files", ignored);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * (body ? body->size() : kDownloadBytes)));
}
void RunApiDownload(benchmark::State& state) { RunApiGet(state, nullptr); }
void RunApiPictureDownload(benchmark::State& state) { RunApiGet(state, &Service().picture); }
BENCHMARK(RunApiDownload)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(RunApiPictureDownload)->Unit(benchmark::kMillisecond)->UseRealTime();

// 32 MiB of fresh memory taken and written once, as a held body must be: on a virtual machine
// whose page faults are slow, this and not the network is the floor under the transport, and the
// curl program writing to /dev/null never pays it.
void FreshMemory32MiB(benchmark::State& state) {
    for (auto _ : state) {
        std::string body;
        body.reserve(kDownloadBytes);
        body.append(kDownloadBytes, 'x');
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDownloadBytes));
}
BENCHMARK(FreshMemory32MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// memcpy of 256 MiB, the machine's copy bandwidth.
void MemcpyBandwidth(benchmark::State& state) {
    const size_t size = size_t{256} << 20;
    std::vector<char> from(size, 'x'), to(size);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(MemcpyBandwidth)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace

int main(int argc, char** argv) {
    if (!InitializeBenchmarks(argc, argv, 5)) return 1;
    Loopback& l = Service();
    std::printf("picture for the preview case: 3000 x 2000 PNG, %.1f MiB\n", static_cast<double>(l.picture.size()) / (1 << 20));
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double transport = reporter.Ms("TransportDownload"), curl = reporter.Ms("CurlProgramDownload");
    if (transport > 0 && curl > 0)
        std::printf("\n32 MiB download: transport %.1f ms, curl program %.1f ms: ratio %.2f (target <= 1.2)\n",
                    transport, curl, transport / curl);
    const double fresh = reporter.Ms("FreshMemory32MiB");
    if (fresh > 0) std::printf("32 MiB of fresh memory written once: %.1f ms\n", fresh);
    const double whole = reporter.Ms("RunApiDownload"), picture = reporter.Ms("RunApiPictureDownload");
    if (whole > 0) std::printf("whole binary GET through RunApi, 32 MiB stored with its data URL: %.1f ms\n", whole);
    if (picture > 0) std::printf("whole binary GET through RunApi, the picture stored with its JPEG preview: %.1f ms\n", picture);
    const auto memcpyIt = reporter.medians.find("MemcpyBandwidth");
    constexpr double kGiB = static_cast<double>(uint64_t{1} << 30);
    if (memcpyIt != reporter.medians.end())
        std::printf("memcpy bandwidth: %.1f GiB/s\n", memcpyIt->second.bytesPerSecond / kGiB);
    benchmark::Shutdown();
    l.service->Stop();
    std::error_code ignored;
    fs::remove_all(l.folder, ignored);
    return 0;
}
