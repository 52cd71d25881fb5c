// A console reporter that also keeps the median of every benchmark, for the ratios printed at
// the end of a run.
#pragma once
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            Median& m = medians[run.run_name.function_name];
            m.ms = run.GetAdjustedRealTime() * (run.time_unit == benchmark::kMicrosecond   ? 1e-3
                                                : run.time_unit == benchmark::kNanosecond ? 1e-6
                                                                                          : 1.0);
            const auto bytes = run.counters.find("bytes_per_second");
            if (bytes != run.counters.end()) m.bytesPerSecond = bytes->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    struct Median {
        double ms = 0, bytesPerSecond = 0;
    };
    std::map<std::string, Median> medians;

    double Ms(const char* name) const {
        const auto it = medians.find(name);
        return it == medians.end() ? 0.0 : it->second.ms;
    }
};

// Initialises Google Benchmark with the command line, adding unless the caller chose its own:
// `repetitions` repetitions, medians only, and benchmarks interleaved at random so that a change
// in the machine's load falls on all alike. False for an argument it does not know.
inline bool InitializeBenchmarks(int argc, char** argv, int repetitions) {
    std::vector<std::string> storage(argv, argv + argc);
    bool custom = false;
    for (const std::string& arg : storage) custom = custom || arg.find("repetitions") != std::string::npos;
    if (!custom) {
        storage.push_back("--benchmark_repetitions=" + std::to_string(repetitions));
        storage.push_back("--benchmark_report_aggregates_only=true");
        storage.push_back("--benchmark_enable_random_interleaving=true");
    }
    std::vector<char*> args;
    for (std::string& arg : storage) args.push_back(arg.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

// The machine's memory bandwidth: memcpy of 64 MiB, reported as bytes a second.
inline void Memcpy(benchmark::State& state) {
    const size_t size = size_t{64} << 20;
    std::vector<char> from(size, 1), to(size, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
