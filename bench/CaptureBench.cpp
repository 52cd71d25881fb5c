// Benchmark of a capture's picture step: the add-on's time on the host thread from the deadline
// to the reply (CaptureNow: the window test, the content test of the model, the picture through
// the host's image and the temporary file, the blank test, the upscale, JPEG at quality 92, the
// store, the preview, the reply), beside the minimal work on the same picture in the same run
// (one PNG decode, the upscale when needed, JPEG at 92, one decode of that JPEG, resampling to
// 640, JPEG at 82). The host's own drawing and PNG encoding, the store's flush and the page's
// reading of the reply are measured in each run and left out of the add-on's time; they are
// reported beside it. Every time is the host thread's processor time, so that other work on a
// shared machine does not count.
//   capture_bench                       every size, 7 repetitions each, and the ratios
//   capture_bench --benchmark_filter=X  any Google Benchmark flag
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchHost.h"
#include "bench/BenchMedians.h"
#include "handlers/views/CaptureSession.h"
#include "handlers/views/Views.h"
#include "host/AddonAbi.h"
#include "panel/Palette.h"
#include "platform/ForwardingFiles.h"
#include "platform/Images.h"
#include "platform/Utf.h"
#include "shell/Shell.h"
#include "sim/host/SimHost.h"
#include "store/FileStore.h"

namespace {
// The calling thread's processor time.
std::chrono::nanoseconds ThreadTime() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

struct Size {
    int width, height;
};
const Size kSizes[] = {{1200, 800}, {1920, 1080}, {3840, 2160}};

// The system's file calls, with the time spent making writes durable (flushing a file and
// syncing its folder) added up.
class TimedFiles final : public ForwardingFiles {
public:
    TimedFiles() { InstallFileSystem(this); }
    ~TimedFiles() override { InstallFileSystem(nullptr); }
    std::chrono::nanoseconds flushTime{0};

    bool Flush(FileHandle f) override {
        const auto start = ThreadTime();
        const bool ok = real_.Flush(f);
        flushTime += ThreadTime() - start;
        return ok;
    }
    void SyncFolder(const std::string& f) override {
        const auto start = ThreadTime();
        real_.SyncFolder(f);
        flushTime += ThreadTime() - start;
    }
};

// A simulated host with the add-on loaded, the page ready and the 3D window in front with its
// frame drawn, so that a capture of the current view is due at once and shows the house.
SimHost& BenchHost() {
    static SimHost* host = [] {
        SimHost* h = NewBenchHost();
        h->UserBringToFront(4);
        while (h->frame3D.Waiting()) h->Turn();
        h->pictureClock = ThreadTime;
        h->Page()->ClearRecords();
        return h;
    }();
    return *host;
}

TimedFiles& Files_() {
    static TimedFiles files;
    return files;
}

double Ms(std::chrono::nanoseconds t) { return std::chrono::duration<double, std::milli>(t).count(); }

// The host's PNG of the 3D window at this size: the picture both measurements start from.
std::string HostPng(const Size& size) {
    SimHost& host = BenchHost();
    host.Set3DWindowSize(size.width, size.height);
    int32_t option = 0;
    std::unique_ptr<NativeImage> image;
    std::vector<uint8_t> png;
    if (host.GetCurrent3DImage(&option, &image) != kHostOk || image->Encode(1, &png) != kHostOk) std::abort();
    return std::string(png.begin(), png.end());
}

void CaptureAddon(benchmark::State& state) {
    const Size size = kSizes[state.range(0)];
    SimHost& host = BenchHost();
    TimedFiles& files = Files_();
    host.Set3DWindowSize(size.width, size.height);
    ScriptedPage& page = *host.Page();
    Palette& palette = *CurrentPalette();
    double hostMs = 0, flushMs = 0, pageMs = 0;
    for (auto _ : state) {
        // The request is taken and the view opened; the deadline is now.
        page.Post(R"({"id":"b","type":"capture","payload":{"viewId":"current"}})");
        host.Idle();
        host.RunEventLoopCalls();
        if (OvraViews::CaptureStateOf(palette) != OvraViews::CaptureSession::State::Settling)
            state.SkipWithError("the capture is not waiting for its picture");
        host.pictureTime = std::chrono::nanoseconds(0);
        files.flushTime = std::chrono::nanoseconds(0);

        const auto start = ThreadTime();
        OvraViews::CaptureNow(palette);
        const auto total = ThreadTime() - start;

        // The page's part of the reply: reading the script back and parsing it.
        if (page.Messages().size() != 1 || !page.Messages()[0].Ok()) state.SkipWithError("no picture");
        const std::u16string script = Utf8ToUtf16(page.Scripts().back());
        const auto pageStart = ThreadTime();
        page.ExecuteScript(script);
        const auto pageTime = ThreadTime() - pageStart;

        const auto outside = host.pictureTime + files.flushTime + pageTime;
        state.SetIterationTime(std::chrono::duration<double>(total - outside).count());
        hostMs += Ms(host.pictureTime);
        flushMs += Ms(files.flushTime);
        pageMs += Ms(pageTime);

        const rapidjson::Value& result = (*page.Messages()[0].document)["result"];
        std::filesystem::remove(FileRefPath(result["fileRef"].GetString(), ".dat"));
        page.ClearRecords();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["host_ms"] = hostMs / n;
    state.counters["flush_ms"] = flushMs / n;
    state.counters["page_ms"] = pageMs / n;
}

void CaptureMinimal(benchmark::State& state) {
    const Size size = kSizes[state.range(0)];
    const std::string png = HostPng(size);
    for (auto _ : state) {
        const auto start = ThreadTime();
        Bitmap picture, big, preview, small;
        std::string jpeg, previewJpeg;
        if (!DecodeBitmap(png, &picture)) state.SkipWithError("decode");
        const int longer = std::max(picture.width, picture.height);
        if (longer < 1600) {
            const double scale = 1600.0 / longer;
            const int width = static_cast<int>(std::lround(picture.width * scale));
            const int height = static_cast<int>(std::lround(picture.height * scale));
            DrawScaledOnWhite(std::move(picture), width, height, &big);
        } else {
            big = std::move(picture);
        }
        EncodeBitmapJpeg(big, 92, &jpeg);
        const int bigLonger = std::max(big.width, big.height);
        const int pw = static_cast<int>(std::lround(big.width * 640.0 / bigLonger));
        const int ph = static_cast<int>(std::lround(big.height * 640.0 / bigLonger));
        if (!DecodeBitmap(jpeg, &preview, pw, ph)) state.SkipWithError("decode jpeg");
        DrawScaledOnWhite(std::move(preview), pw, ph, &small);
        EncodeBitmapJpeg(small, 82, &previewJpeg);
        benchmark::DoNotOptimize(previewJpeg.data());
        state.SetIterationTime(std::chrono::duration<double>(ThreadTime() - start).count());
    }
}


BENCHMARK(CaptureAddon)->DenseRange(0, 2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(CaptureMinimal)->DenseRange(0, 2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);

// Keeps every median by its full name ("CaptureAddon/1"), with the counters.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            Median& m = medians[run.run_name.function_name + "/" + run.run_name.args];
            m.ms = run.GetAdjustedRealTime();
            for (const auto& [name, counter] : run.counters) m.counters[name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    struct Median {
        double ms = 0;
        std::map<std::string, double> counters;
    };
    std::map<std::string, Median> medians;
};
}  // namespace

int main(int argc, char** argv) {
    // host.log, the store and the temporary pictures go to throwaway folders.
    char folder[] = "/tmp/capture-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) return 1;
    ::setenv("XDG_DATA_HOME", folder, 1);
    ::setenv("TMPDIR", folder, 1);

    if (!InitializeBenchmarks(argc, argv, 7)) return 1;
    BenchHost();
    Files_();
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const auto& m = reporter.medians;
    auto find = [&](const std::string& name) { return m.count(name) ? m.at(name) : Reporter::Median{}; };
    std::printf("\nMedians (memcpy of 64 MiB: %.1f GB/s)\n",
                find("Memcpy/").counters.count("bytes_per_second")
                    ? find("Memcpy/").counters.at("bytes_per_second") / 1e9
                    : 0.0);
    std::printf("  %-10s %12s %12s %6s   %s\n", "size", "add-on", "minimal", "ratio",
                "beside it: host drawing + PNG, store flush, page (ms)");
    for (int i = 0; i < 3; ++i) {
        const auto ours = find("CaptureAddon/" + std::to_string(i));
        const auto bare = find("CaptureMinimal/" + std::to_string(i));
        if (ours.ms <= 0 || bare.ms <= 0) continue;
        std::printf("  %4dx%-5d %9.1f ms %9.1f ms %6.2f   %.1f, %.2f, %.2f   (target <= 1.3)\n", kSizes[i].width,
                    kSizes[i].height, ours.ms, bare.ms, ours.ms / bare.ms, ours.counters.at("host_ms"),
                    ours.counters.at("flush_ms"), ours.counters.at("page_ms"));
    }
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
