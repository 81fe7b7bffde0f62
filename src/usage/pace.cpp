#include "usage/pace.h"

#include "usage/iinet.h"

#include <algorithm>
#include <cmath>

namespace vantle {
namespace {

constexpr double BytesPerMB = 1000.0 * 1000.0;
// Right after a reset the rate of a few minutes says nothing of the month: the rate is taken
// over at least an hour.
constexpr double MinElapsedDays = 1.0 / 24;
// On the last day what is left is what today may use.
constexpr double MinRemainingDays = 1.0;

} // namespace

TquotaPeriod quotaPeriod(std::int32_t daysSoFar, std::int32_t daysRemaining, TDateTime now) {
    const double today = std::floor(now);
    return {today - std::max(daysSoFar, 0), today + std::max(daysRemaining, 0)};
}

std::optional<Tpace> paceOf(const Ttraffic& traffic, const TquotaPeriod& period, TDateTime now) {
    if (traffic.quotaMB <= 0 || period.days() <= 0)
        return std::nullopt;
    Tpace pace;
    pace.classification = traffic.classification;
    pace.name = traffic.name;
    pace.periodEnd = period.end;
    const double quotaMB = static_cast<double>(traffic.quotaMB);
    const double usedMB = static_cast<double>(traffic.usedBytes) / BytesPerMB;
    const double elapsed = std::clamp(now - period.start, 0.0, period.days());
    pace.elapsedPercent = elapsed / period.days() * 100;
    pace.usedPercent = usedMB / quotaMB * 100;
    const double perDayUsed = usedMB / std::max(elapsed, MinElapsedDays);
    pace.projectedMB = std::max(usedMB, perDayUsed * period.days());
    if (usedMB >= quotaMB)
        pace.runsOut = now;
    else if (perDayUsed > 0 && period.start + quotaMB / perDayUsed < period.end)
        pace.runsOut = period.start + quotaMB / perDayUsed;
    const double remaining = std::max(period.end - now, MinRemainingDays);
    pace.perDayMB = std::max(quotaMB - usedMB, 0.0) / remaining;
    return pace;
}

std::vector<Tpace> paceOf(const Tiinet& usage, TDateTime now) {
    const TquotaPeriod period = quotaPeriod(usage.daysSoFar, usage.daysRemaining, now);
    std::vector<Tpace> all;
    for (const Ttraffic& traffic : usage.traffic)
        if (std::optional<Tpace> pace = paceOf(traffic, period, now))
            all.push_back(std::move(*pace));
    return all;
}

} // namespace vantle
