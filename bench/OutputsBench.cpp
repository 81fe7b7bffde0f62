// One poll cycle's output step (tray icon and hint, three pie pictures, status document) for an
// account with three metered traffic types, against the floor of only encoding the three final
// pie pictures as PNG; prints the ratio.
#include "config/configuration.h"
#include "outputs/generate_json.h"
#include "outputs/generate_pies.h"
#include "outputs/generate_tray.h"
#include "usage/iinet.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace vantle;

const std::vector<Ttraffic> Metered = {
    {"Peak", "peak", 11'250'000'000, 11250, 25000, 45.0},
    {"Off Peak", "offpeak", 4'217'300'000, 4217, 35000, 12.049428571428571},
    {"Bonus", "bonus", 30'000'000'000, 30000, 20000, 150.0},
};

struct Account {
    Tconfiguration configuration;
    Tiinet usage{configuration};
    Account() {
        usage.isOffpeak = false;
        usage.offpeakStart = 120;
        usage.offpeakEnd = 480;
        usage.daysSoFar = 18;
        usage.daysRemaining = 12;
        usage.traffic = Metered;
    }
};

std::unique_ptr<Account> account;

void OutputStep(benchmark::State& state) {
    for (auto _ : state) {
        generateTray(account->configuration, account->usage);
        generatePies(account->configuration, account->usage);
        generateJson(account->configuration, account->usage);
    }
}
BENCHMARK(OutputStep)->Unit(benchmark::kMicrosecond);

void PngEncodingFloor(benchmark::State& state) {
    std::vector<QImage> pictures;
    for (const Ttraffic& t : Metered)
        pictures.push_back(pieImage(t.usedPercent));
    for (auto _ : state)
        for (const QImage& picture : pictures)
            benchmark::DoNotOptimize(pngBytes(picture));
}
BENCHMARK(PngEncodingFloor)->Unit(benchmark::kMicrosecond);

// Keeps each benchmark's time per iteration for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);

    // A profile of its own, so the user's files are never touched.
    std::string home = (std::filesystem::temp_directory_path() / "vantle-bench-XXXXXX").string();
    if (mkdtemp(home.data()) == nullptr)
        return 1;
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    account = std::make_unique<Account>();

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    account.reset();
    std::filesystem::remove_all(home);

    const auto step = reporter.times.find("OutputStep");
    const auto floor = reporter.times.find("PngEncodingFloor");
    if (step != reporter.times.end() && floor != reporter.times.end() && floor->second > 0)
        std::printf("output step / PNG encoding floor: %.2f (target at most 2)\n",
                    step->second / floor->second);
    return 0;
}
