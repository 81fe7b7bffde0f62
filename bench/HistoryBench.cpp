// The usage history of three years of polls every 30 minutes (52,000 samples): read and
// summarised for the status window, the poll's whole history step, and the whole history read,
// each against reading the usage document alone; prints the ratios and the reading's added peak
// memory. With --seed DB, only writes such a history, ending now, for bench/historyFootprint.sh.
#include "config/configuration.h"
#include "history/historyJson.h"
#include "history/historyRecorder.h"
#include "history/historyStore.h"
#include "history/historySummary.h"
#include "lib/runtime/DateTime.h"
#include "platform/memoryTrim.h"
#include "support/HistorySamples.h"
#include "usage/iinet.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace vantle;

constexpr int ThreeYears = 52'000;
const std::string Document = VANTLE_FIXTURES "/usage/sample.xml";

struct Profile {
    Tconfiguration configuration;
    std::string database = historyDatabaseFile(configuration);
    Tiinet usage{configuration};
    Profile() {
        const TDateTime now = runtime::now();
        ThistoryStore(database, ThistoryStore::Access::write)
            .append(test::pollSamples(now - ThreeYears / 48.0, ThreeYears));
        usage.load(Document, Document);
    }
};

std::unique_ptr<Profile> profile;

void UsageDocument(benchmark::State& state) {
    for (auto _ : state) {
        Tiinet usage(profile->configuration);
        usage.load(Document, Document);
        benchmark::DoNotOptimize(usage.traffic.data());
    }
}
BENCHMARK(UsageDocument)->Unit(benchmark::kMillisecond);

std::string windowHistory() {
    ThistoryStore store(profile->database, ThistoryStore::Access::read);
    return historyChartDocument(recentPeriods(store, ChartPeriods));
}

void HistoryForWindow(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(windowHistory());
}
BENCHMARK(HistoryForWindow)->Unit(benchmark::kMillisecond);

// What each poll adds: the database checked, the sample appended, the chart data written.
void HistoryPollStep(benchmark::State& state) {
    for (auto _ : state)
        recordHistory(profile->configuration, profile->usage, runtime::now());
}
BENCHMARK(HistoryPollStep)->Unit(benchmark::kMillisecond);

// vantlectl history --periods 1000: every period's totals.
void WholeHistory(benchmark::State& state) {
    for (auto _ : state) {
        ThistoryStore store(profile->database, ThistoryStore::Access::read);
        benchmark::DoNotOptimize(recentPeriods(store, 1000).size());
    }
}
BENCHMARK(WholeHistory)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times; // milliseconds

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

// kB of a /proc/self/status line.
long statusKilobytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0)
            return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
    return -1;
}

struct Added {
    long peak = 0;     // kB above the start, at the highest
    long retained = 0; // kB above the start once done and trimmed
};

// How far the resident memory rose above where it stood while the action ran, and what stays.
Added memoryAdded(const std::function<void()>& action) {
    platform::trimMemory();
    std::ofstream("/proc/self/clear_refs") << "5"; // restarts the peak from now
    const long before = statusKilobytes("VmRSS");
    action();
    platform::trimMemory();
    return {statusKilobytes("VmHWM") - before, statusKilobytes("VmRSS") - before};
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--seed") {
        ThistoryStore(argv[2], ThistoryStore::Access::write)
            .append(test::pollSamples(runtime::now() - ThreeYears / 48.0, ThreeYears));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    // A profile of its own, so the user's files are never touched.
    std::string home = (std::filesystem::temp_directory_path() / "vantle-bench-XXXXXX").string();
    if (mkdtemp(home.data()) == nullptr)
        return 1;
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    profile = std::make_unique<Profile>();

    // Once each in a settled process, before the timings fill the caches.
    const Added usageMemory = memoryAdded([] {
        Tiinet usage(profile->configuration);
        usage.load(Document, Document);
    });
    const Added historyMemory = memoryAdded([] { benchmark::DoNotOptimize(windowHistory()); });
    const Added pollMemory =
        memoryAdded([] { recordHistory(profile->configuration, profile->usage, runtime::now()); });

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    profile.reset();
    std::filesystem::remove_all(home);

    const double usage = reporter.times["UsageDocument"];
    for (const char* name : {"HistoryForWindow", "HistoryPollStep", "WholeHistory"}) {
        const auto found = reporter.times.find(name);
        if (found != reporter.times.end() && usage > 0)
            std::printf("%s: %.2f ms, %.1f x reading the usage document (%.3f ms)%s\n", name,
                        found->second, found->second / usage, usage,
                        std::string(name) == "HistoryForWindow" ? " (target under 20 ms)" : "");
    }
    std::printf("resident memory added by reading the usage document: %ld kB at the peak, %ld kB "
                "kept; by reading the window's history: %ld kB at the peak, %ld kB kept (target "
                "under 1024 kB)\n",
                usageMemory.peak, usageMemory.retained, historyMemory.peak, historyMemory.retained);
    std::printf("by the poll's history step: %ld kB at the peak, %ld kB kept\n", pollMemory.peak,
                pollMemory.retained);
    return 0;
}
