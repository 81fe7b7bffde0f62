#include "support/HistorySamples.h"

#include "lib/runtime/DateTime.h"

#include <cmath>

namespace vantle::test {
namespace {

TDateTime firstOfMonth(int year, int month) {
    return runtime::encodeDateTime({year + (month - 1) / 12, (month - 1) % 12 + 1, 1});
}

} // namespace

std::vector<ThistorySample> pollSamples(TDateTime start, int count, int interval) {
    constexpr std::int64_t MB = 1'000'000;
    std::vector<ThistorySample> samples;
    samples.reserve(static_cast<std::size_t>(count));
    std::int64_t polls = 0;
    TDateTime periodStart = -1;
    for (int i = 0; i < count; ++i) {
        ThistorySample s;
        s.local = start + i * interval / 1440.0;
        s.taken = std::llround((s.local - runtime::UnixDateDelta) * runtime::SecondsPerDay);
        const runtime::DateTimeFields today = runtime::decodeDateTime(s.local);
        const TDateTime first = firstOfMonth(today.year, today.month);
        if (first != periodStart) {
            periodStart = first;
            polls = 0;
        }
        ++polls;
        const TDateTime day = std::floor(s.local);
        s.daysSoFar = static_cast<std::int32_t>(day - first);
        s.daysRemaining =
            static_cast<std::int32_t>(firstOfMonth(today.year, today.month + 1) - day);
        s.traffic = {{"peak", "Peak", polls * 15 * MB, 25000, false},
                     {"offpeak", "Off Peak", polls * 5 * MB, 50000, false},
                     {"freezone", "Freezone", polls * MB, -1, false}};
        samples.push_back(std::move(s));
    }
    return samples;
}

} // namespace vantle::test
