// Benchmark of the bridge: small requests from the page's native function to the reply that
// reaches the page, with host.log on, beside the floor of the same two log lines written by
// WriteLog in the same run (one open, append and close each, its checks and restarts included).
//   bridge_bench                       both, 7 repetitions each, and their ratio
//   bridge_bench --benchmark_filter=X  any Google Benchmark flag
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchHost.h"
#include "bench/BenchMedians.h"
#include "host/AddonAbi.h"
#include "sim/host/SimHost.h"
#include "store/Log.h"

namespace {
// A simulated host with the add-on loaded and the palette's page ready.
SimHost& BenchHost() {
    static SimHost* host = [] {
        SimHost* h = NewBenchHost();
        h->Page()->ClearRecords();
        return h;
    }();
    return *host;
}

// "record" is answered at once ("unsupported"): the bridge's own path with nothing else.
void BridgeRequest(benchmark::State& state) {
    ScriptedPage& page = *BenchHost().Page();
    const std::string text = R"({"id":"1","type":"record"})";
    for (auto _ : state) {
        page.Post(text);
        if (page.Messages().size() != 1) state.SkipWithError("no reply");
        page.ClearRecords();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BridgeRequest)->Unit(benchmark::kMicrosecond);

// The two lines each request writes, written the same way.
void LogFloor(benchmark::State& state) {
    for (auto _ : state) {
        WriteLog("request record");
        WriteLog("reply error unsupported");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LogFloor)->Unit(benchmark::kMicrosecond);
}  // namespace

int main(int argc, char** argv) {
    // host.log goes to a throwaway data folder.
    char folder[] = "/tmp/bridge-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) return 1;
    ::setenv("XDG_DATA_HOME", folder, 1);

    if (!InitializeBenchmarks(argc, argv, 7)) return 1;
    BenchHost();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double request = reporter.Ms("BridgeRequest"), floor = reporter.Ms("LogFloor");
    if (request > 0 && floor > 0)
        std::printf("\nRequest to reply %.2f us, its two log lines alone %.2f us: ratio %.2f (target <= 1.5)\n",
                    request * 1e3, floor * 1e3, request / floor);
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
