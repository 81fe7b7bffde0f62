// One poll cycle's output step (tray icon and hint, three pie pictures, status document) for an
// account with three metered traffic types, against the floor of only encoding the three final
// pie pictures as PNG; prints the ratios. The files go to a folder on the disk the data folder
// would use: the current folder, or the one given with --dir=FOLDER (not a memory file system,
// where a rename costs nothing).
// Usage: outputs_bench [--dir=FOLDER] [benchmark options]
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
#include <string_view>
#include <sys/vfs.h>
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

std::string fileSystemName(const std::string& folder) {
    struct statfs about {};
    if (statfs(folder.c_str(), &about) != 0)
        return "unknown file system";
    switch (static_cast<unsigned long>(about.f_type)) {
    case 0xEF53:
        return "ext4";
    case 0x01021994:
        return "tmpfs";
    case 0x58465342:
        return "xfs";
    case 0x9123683E:
        return "btrfs";
    default: {
        char text[32];
        std::snprintf(text, sizeof text, "file system 0x%lx",
                      static_cast<unsigned long>(about.f_type));
        return text;
    }
    }
}

void writeOutputs() {
    generateTray(account->configuration, account->usage);
    generatePies(account->configuration, account->usage);
    generateJson(account->configuration, account->usage);
}

// The usual cycle: the provider's figures have not moved since the last one.
void OutputStep(benchmark::State& state) {
    for (auto _ : state)
        writeOutputs();
}
BENCHMARK(OutputStep)->Unit(benchmark::kMicrosecond);

// Every figure moved: every file is replaced.
void OutputStepChanged(benchmark::State& state) {
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        for (std::size_t i = 0; i < Metered.size(); ++i)
            account->usage.traffic[i].usedPercent = Metered[i].usedPercent + (odd ? 1.0 : 0.0);
        account->usage.traffic[0].usedMB = Metered[0].usedMB + (odd ? 1 : 0);
        writeOutputs();
    }
    account->usage.traffic = Metered;
}
BENCHMARK(OutputStepChanged)->Unit(benchmark::kMicrosecond);

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
    std::filesystem::path folder = std::filesystem::current_path();
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]).starts_with("--dir="))
            folder = std::string_view(argv[i]).substr(6);
    std::string home = (folder / "vantle-bench-XXXXXX").string();
    if (mkdtemp(home.data()) == nullptr) {
        std::perror(home.c_str());
        return 1;
    }
    std::printf("files in %s (%s)\n", home.c_str(), fileSystemName(home).c_str());
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    account = std::make_unique<Account>();

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    account.reset();
    std::filesystem::remove_all(home);

    const auto floor = reporter.times.find("PngEncodingFloor");
    if (floor == reporter.times.end() || floor->second <= 0)
        return 0;
    for (const char* step : {"OutputStep", "OutputStepChanged"})
        if (const auto found = reporter.times.find(step); found != reporter.times.end())
            std::printf("%s / PNG encoding floor: %.2f%s\n", step, found->second / floor->second,
                        std::string_view(step) == "OutputStep" ? " (target at most 2)" : "");
    return 0;
}
