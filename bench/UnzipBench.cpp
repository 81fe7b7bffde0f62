// Decoding one deflated member of several megabytes (text-like and binary stretches, compressed
// by zlib at its default level) with Tunzip into memory, against zlib's own inflate of the same
// stream into a buffer; prints the time ratio.
#include "archive/unzip.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

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

std::string rawDeflate(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void le(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// One deflated member "data.bin", local header, directory and end record.
std::string zipOf(const std::string& stream, const std::string& data) {
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    const std::string name = "data.bin";
    std::string zip;
    std::string entry;
    for (std::string* record : {&zip, &entry}) {
        const bool central = record == &entry;
        *record += central ? "PK\x01\x02" : "PK\x03\x04";
        if (central)
            le(*record, 20, 2); // made by
        le(*record, 20, 2);     // version needed
        le(*record, 0, 2);      // flags
        le(*record, 8, 2);      // deflated
        le(*record, 0, 4);      // time and date
        le(*record, crc, 4);
        le(*record, static_cast<std::uint32_t>(stream.size()), 4);
        le(*record, static_cast<std::uint32_t>(data.size()), 4);
        le(*record, static_cast<std::uint32_t>(name.size()), 2);
        le(*record, 0, 2); // extra field length
        if (central) {
            le(*record, 0, 2); // comment length
            le(*record, 0, 2); // disk number start
            le(*record, 0, 2); // internal attributes
            le(*record, 0, 4); // external attributes
            le(*record, 0, 4); // local header offset
        }
        *record += name;
    }
    zip += stream;
    const auto directoryOffset = static_cast<std::uint32_t>(zip.size());
    zip += entry + "PK\x05\x06";
    le(zip, 0, 4);       // disk numbers
    le(zip, 0x10001, 4); // one entry
    le(zip, static_cast<std::uint32_t>(entry.size()), 4);
    le(zip, directoryOffset, 4);
    le(zip, 0, 2); // comment length
    return zip;
}

struct Fixture {
    std::string data = sampleData();
    std::string stream = rawDeflate(data);
    std::string zip = zipOf(stream, data);
};

const Fixture& fixture() {
    static const Fixture f;
    return f;
}

void TunzipInflate(benchmark::State& state) {
    const Fixture& f = fixture();
    Tunzip unzip(f.zip);
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
    std::vector<Bytef> out(f.data.size());
    for (auto _ : state) {
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(f.stream.data()));
        z.avail_in = static_cast<uInt>(f.stream.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END)
            state.SkipWithError("zlib refused the stream");
        inflateEnd(&z);
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
