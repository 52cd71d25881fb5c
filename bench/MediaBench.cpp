// Benchmarks of the media operations against bare library calls on the same pictures, with the
// machine's memory bandwidth beside them. Each comparison is printed as a ratio of medians taken
// in the same run, followed by the peak memory of EncodeJpeg on a 3840 × 2160 picture.
//   media_bench                       all, 7 repetitions each
//   media_bench --benchmark_filter=X  any Google Benchmark flag
//   media_bench --memory              the peak memory only
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <turbojpeg.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchMedians.h"
#include "bench/BenchPictures.h"
#include "panel/Replies.h"
#include "platform/Images.h"
#include "store/DataUrl.h"
#include "store/Images.h"

namespace {
struct Inputs {
    std::string png1080, jpeg1080, jpeg4000;
};

const Inputs& Pictures() {
    static const Inputs inputs = [] {
        Inputs in;
        const Bitmap hd = RenderedPicture(1920, 1080);
        in.png1080 = DefaultPng(hd);
        EncodeBitmapJpeg(hd, 92, &in.jpeg1080);
        EncodeBitmapJpeg(RenderedPicture(4000, 3000, 2), 92, &in.jpeg4000);
        return in;
    }();
    return inputs;
}

struct TurboDeleter {
    void operator()(void* h) const { tjDestroy(h); }
};
using Turbo = std::unique_ptr<void, TurboDeleter>;

// tjCompress2 of packed pixels at 4:2:0, the output freed again.
size_t Compress(tjhandle h, const void* pixels, int w, int hgt, int format, int quality) {
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(h, static_cast<const unsigned char*>(pixels), w, 0, hgt, format, &out, &size, TJSAMP_420, quality, 0);
    tjFree(out);
    return size;
}

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);

void PngDecodeLibpng(benchmark::State& state) {
    std::string rgb;
    int w = 0, h = 0;
    for (auto _ : state) benchmark::DoNotOptimize(BareDecodeLibpng(Pictures().png1080, &rgb, &w, &h));
}
BENCHMARK(PngDecodeLibpng)->Unit(benchmark::kMillisecond);

void PngDecodeSpng(benchmark::State& state) {
    std::string rgb;
    int w = 0, h = 0;
    for (auto _ : state) benchmark::DoNotOptimize(BareDecodeSpng(Pictures().png1080, &rgb, &w, &h));
}
BENCHMARK(PngDecodeSpng)->Unit(benchmark::kMillisecond);

void PngToJpegBare(benchmark::State& state) {
    Turbo tj(tjInitCompress());
    std::string rgb;
    int w = 0, h = 0;
    for (auto _ : state) {
        BareDecodeLibpng(Pictures().png1080, &rgb, &w, &h);
        benchmark::DoNotOptimize(Compress(tj.get(), rgb.data(), w, h, TJPF_RGB, 92));
    }
}
BENCHMARK(PngToJpegBare)->Unit(benchmark::kMillisecond);

void PngToJpeg(benchmark::State& state) {
    std::string out;
    for (auto _ : state) benchmark::DoNotOptimize(EncodeJpeg(Pictures().png1080, 0, 92, &out));
}
BENCHMARK(PngToJpeg)->Unit(benchmark::kMillisecond);

void JpegToJpegBare(benchmark::State& state) {
    Turbo d(tjInitDecompress()), c(tjInitCompress());
    const std::string& jpeg = Pictures().jpeg1080;
    std::vector<unsigned char> rgb(1920 * 1080 * 3);
    for (auto _ : state) {
        tjDecompress2(d.get(), reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(), rgb.data(), 1920, 0,
                      1080, TJPF_RGB, 0);
        benchmark::DoNotOptimize(Compress(c.get(), rgb.data(), 1920, 1080, TJPF_RGB, 92));
    }
}
BENCHMARK(JpegToJpegBare)->Unit(benchmark::kMillisecond);

void JpegToJpeg(benchmark::State& state) {
    std::string out;
    for (auto _ : state) benchmark::DoNotOptimize(EncodeJpeg(Pictures().jpeg1080, 0, 92, &out));
}
BENCHMARK(JpegToJpeg)->Unit(benchmark::kMillisecond);

// Full-size decode, our resampler, encode: the work EncodeJpeg would do without DCT reduction.
void ScaledBare(benchmark::State& state, const std::string& jpeg, int w, int h, int toW, int toH, int quality) {
    Turbo d(tjInitDecompress()), c(tjInitCompress());
    for (auto _ : state) {
        Bitmap full;
        full.Allocate(w, h);
        tjDecompress2(d.get(), reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(),
                      reinterpret_cast<unsigned char*>(full.pixels.data()), w, 0, h, TJPF_BGRX, 0);
        full.opaque = true;
        Bitmap small;
        DrawScaledOnWhite(std::move(full), toW, toH, &small);
        benchmark::DoNotOptimize(Compress(c.get(), small.pixels.data(), toW, toH, TJPF_BGRX, quality));
    }
}

void Jpeg640Bare(benchmark::State& state) { ScaledBare(state, Pictures().jpeg1080, 1920, 1080, 640, 360, 82); }
BENCHMARK(Jpeg640Bare)->Unit(benchmark::kMillisecond);

void Jpeg640(benchmark::State& state) {
    std::string out;
    for (auto _ : state) benchmark::DoNotOptimize(EncodeJpeg(Pictures().jpeg1080, 640, 82, &out));
}
BENCHMARK(Jpeg640)->Unit(benchmark::kMillisecond);

void Jpeg1600Bare(benchmark::State& state) { ScaledBare(state, Pictures().jpeg4000, 4000, 3000, 1600, 1200, 88); }
BENCHMARK(Jpeg1600Bare)->Unit(benchmark::kMillisecond);

void Jpeg1600(benchmark::State& state) {
    std::string out;
    for (auto _ : state) benchmark::DoNotOptimize(EncodeJpeg(Pictures().jpeg4000, 1600, 88, &out));
}
BENCHMARK(Jpeg1600)->Unit(benchmark::kMillisecond);

void Resample640(benchmark::State& state) {
    const Bitmap hd = RenderedPicture(1920, 1080);
    for (auto _ : state) {
        state.PauseTiming();
        Bitmap copy = hd;
        state.ResumeTiming();
        Bitmap small;
        benchmark::DoNotOptimize(DrawScaledOnWhite(std::move(copy), 640, 360, &small));
    }
}
BENCHMARK(Resample640)->Unit(benchmark::kMillisecond);

std::string Preview() {
    std::string bytes(size_t{1} << 20, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
    return bytes;
}

void Base64(benchmark::State& state) {
    const std::string bytes = Preview();
    for (auto _ : state) benchmark::DoNotOptimize(Base64Encode(bytes));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Base64Length(bytes.size())));
}
BENCHMARK(Base64)->Unit(benchmark::kMicrosecond);

void DataUrlQuoted(benchmark::State& state) {
    const std::string bytes = Preview();
    for (auto _ : state) benchmark::DoNotOptimize(JsonQuote(MakeDataUrl("image/jpeg", bytes)));
}
BENCHMARK(DataUrlQuoted)->Unit(benchmark::kMicrosecond);

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
    return -1;
}

// The growth of the resident set's high-water mark while `work` runs, in bytes.
double PeakGrowth(const std::function<void()>& work) {
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKb("VmRSS:");
    work();
    return (StatusKb("VmHWM:") - before) * 1024.0;
}

void PrintMemory() {
    // Fixed thresholds, so freed memory goes back to the system and every measurement starts
    // from the same resident set.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    malloc_trim(0);
    const Bitmap uhd = RenderedPicture(3840, 2160, 3);
    const double decoded = 3840.0 * 2160.0 * 4.0;
    const std::string png = DefaultPng(uhd);
    std::string jpeg;
    EncodeBitmapJpeg(uhd, 92, &jpeg);
    std::printf("\nPeak memory of EncodeJpeg on 3840 x 2160 (decoded size %.1f MiB):\n", decoded / 1048576);
    const struct {
        const char* name;
        const std::string* input;
        int maxSide;
    } cases[] = {{"PNG, no limit, q92", &png, 0}, {"JPEG, no limit, q92", &jpeg, 0}, {"PNG, 640, q82", &png, 640},
                 {"JPEG, 1600, q88", &jpeg, 1600}};
    for (const auto& c : cases) {
        std::string out;
        const double peak = PeakGrowth([&] { EncodeJpeg(*c.input, c.maxSide, c.maxSide ? 82 : 92, &out); });
        std::printf("  %-22s %6.1f MiB  = %.2f x decoded\n", c.name, peak / 1048576, peak / decoded);
    }
}

void PrintRatios(const MedianReporter& r) {
    auto ms = [&](const char* name) {
        const auto it = r.medians.find(name);
        return it == r.medians.end() ? 0.0 : it->second.ms;
    };
    auto gbps = [&](const char* name) {
        const auto it = r.medians.find(name);
        return it == r.medians.end() ? 0.0 : it->second.bytesPerSecond / 1e9;
    };
    std::printf("\nMedians and ratios (memcpy of 64 MiB: %.1f GB/s)\n", gbps("Memcpy"));
    auto ratio = [&](const char* label, const char* ours, const char* bare, const char* target) {
        if (ms(ours) > 0 && ms(bare) > 0)
            std::printf("  %-44s %7.2f ms vs %7.2f ms  ratio %.2f  (target %s)\n", label, ms(ours), ms(bare),
                        ms(ours) / ms(bare), target);
    };
    ratio("EncodeJpeg 1920x1080 PNG, full size, q92", "PngToJpeg", "PngToJpegBare", "<= 1.3");
    ratio("EncodeJpeg 1920x1080 JPEG, full size, q92", "JpegToJpeg", "JpegToJpegBare", "<= 1.3");
    ratio("EncodeJpeg 1920x1080 JPEG, side 640, q82", "Jpeg640", "Jpeg640Bare", "<= 1.5");
    ratio("EncodeJpeg 4000x3000 JPEG, side 1600, q88", "Jpeg1600", "Jpeg1600Bare", "DCT-reduced decode");
    ratio("PNG decode 1920x1080: libspng vs libpng", "PngDecodeSpng", "PngDecodeLibpng", "libpng kept if >= 1");
    if (ms("Resample640") > 0) std::printf("  %-44s %7.2f ms\n", "Resampler 1920x1080 -> 640x360", ms("Resample640"));
    if (gbps("Base64") > 0)
        std::printf("  %-44s %7.2f GB/s of output  (target >= 3)\n", "Base64Encode of 1 MiB", gbps("Base64"));
    if (ms("DataUrlQuoted") > 0)
        std::printf("  %-44s %7.3f ms  (target < 1)\n", "MakeDataUrl + JsonQuote of 1 MiB", ms("DataUrlQuoted"));
}
}  // namespace

int main(int argc, char** argv) {
    // --memory prints the peak memory only; every other argument goes to Google Benchmark.
    std::vector<char*> args;
    bool memoryOnly = false, custom = false;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--memory") == 0) {
            memoryOnly = true;
            continue;
        }
        custom = custom || std::strstr(argv[i], "repetitions") != nullptr;
        args.push_back(argv[i]);
    }
    char repetitions[] = "--benchmark_repetitions=7";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    if (!custom) {
        args.push_back(repetitions);
        args.push_back(aggregates);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    if (!memoryOnly) {
        Pictures();
        MedianReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        PrintRatios(reporter);
    }
    // Last, because it fixes the allocator's thresholds for the rest of the process.
    PrintMemory();
    benchmark::Shutdown();
    return 0;
}
