// Decoding one deflated member of several megabytes (text-like and binary stretches, compressed
// by zlib at its default level) with Tunzip into memory, against zlib's own inflate of the same
// stream into a buffer; prints the time ratio.
#include "archive/unzip.h"
#include "zip-writer/zipWriter.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace vantle;

constexpr std::size_t kDataSize = 8 << 20;

std::uint32_t nextRandom(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// Alternating 64 KiB stretches: words with near and far repeats, then records of counters and
// noise as in a binary table.
std::string sampleData() {
    static const char* const words[] = {
        "quota", "download", "peak",   "off-peak",  "megabytes", "freezone", "usage",
        "the",   "of",       "and",    "account",   "reset",     "<td>",     "</td>",
        "\n",    "plan",     "days",   "remaining", "shaped",    "speed",    "256",
        "kbps",  "2025",     "status", "class=\"",  "value",     "<div ",    "</div>"};
    std::uint32_t state = 2463534242u;
    std::string data;
    std::uint32_t counter = 0;
    while (data.size() < kDataSize) {
        const std::size_t stretchEnd = data.size() + (64 << 10);
        const bool text = (data.size() >> 16) % 3 != 2;
        while (data.size() < stretchEnd) {
            const std::uint32_t r = nextRandom(state);
            if (!text) {
                counter += r % 5;
                for (int i = 0; i < 4; ++i)
                    data += static_cast<char>((counter >> (8 * i)) & 0xFF);
                data += static_cast<char>(r >> 24);
                data += static_cast<char>((r >> 16) & 0x0F);
            } else if (r % 7 == 0 && data.size() > 4096) {
                const std::size_t length = 8 + (r >> 8) % 80;
                const std::size_t back = 1 + (r >> 16) % 32000;
                data += data.substr(data.size() - std::min(back, data.size() - length), length);
            } else {
                data += words[(r >> 4) % std::size(words)];
                data += ' ';
            }
        }
    }
    data.resize(kDataSize);
    return data;
}

struct Fixture {
    std::string data = sampleData();
    std::string stream = zip::rawDeflate(data);
    // One deflated member "data.bin".
    std::string archive = zip::buildZip({zip::packedMember("data.bin", 8, stream, data)});
};

const Fixture& fixture() {
    static const Fixture f;
    return f;
}

void TunzipInflate(benchmark::State& state) {
    const Fixture& f = fixture();
    Tunzip unzip(f.archive);
    TmemoryTarget target;
    target.data.reserve(f.data.size());
    for (auto _ : state) {
        unzip.extractToStream("data.bin", target);
        benchmark::DoNotOptimize(target.data.data());
    }
    if (target.data != f.data)
        state.SkipWithError("Tunzip's output differs");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.data.size()));
}
BENCHMARK(TunzipInflate)->Unit(benchmark::kMillisecond);

void ZlibInflate(benchmark::State& state) {
    const Fixture& f = fixture();
    std::vector<char> out(f.data.size());
    for (auto _ : state) {
        try {
            zip::rawInflate(f.stream, out);
        } catch (const std::exception&) {
            state.SkipWithError("zlib refused the stream");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.data.size()));
}
BENCHMARK(ZlibInflate)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration for the ratio: the median when the run was
// repeated (--benchmark_repetitions), else the one run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            if (run.run_type == Run::RT_Iteration && run.repetitions <= 1)
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
            else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const Fixture& f = fixture();
    std::printf("data %zu bytes, deflated %zu bytes\n", f.data.size(), f.stream.size());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.times["TunzipInflate"];
    const double zlib = reporter.times["ZlibInflate"];
    if (ours > 0 && zlib > 0)
        std::printf("ratio Tunzip / zlib inflate: %.3f\n", ours / zlib);
    benchmark::Shutdown();
    return 0;
}
