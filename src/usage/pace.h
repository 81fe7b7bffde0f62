// Where a traffic type's month is heading: the share of the quota period gone, the share of the
// quota used, the use at the period's end at the average rate so far, the day the quota runs out
// at that rate and what is left to use per day.
#pragma once

#include "lib/runtime/DateTime.h"

#include <optional>
#include <string>
#include <vector>

namespace vantle {

class Tiinet;
struct Ttraffic;

// The quota period around a clock: it starts at local midnight of the reset day daysSoFar days
// back and ends at midnight of the next reset day daysRemaining days ahead.
struct TquotaPeriod {
    TDateTime start = 0;
    TDateTime end = 0;

    double days() const { return end - start; }
};
TquotaPeriod quotaPeriod(std::int32_t daysSoFar, std::int32_t daysRemaining, TDateTime now);

// The figures of one traffic type with a quota, megabytes of 1,000,000 bytes.
struct Tpace {
    std::string classification;
    std::string name;
    double elapsedPercent = 0; // of the period, 0 to 100
    double usedPercent = 0;    // of the quota; above 100 when over
    double projectedMB = 0;    // at the period's end at the average rate so far
    // When the quota runs out at that rate, within the period; the clock itself when it already
    // has; none when it lasts.
    std::optional<TDateTime> runsOut;
    double perDayMB = 0; // left to use per day to stay within the quota; 0 when none is left
    TDateTime periodEnd = 0;

    bool overQuota() const { return usedPercent >= 100; }
    // Using faster than the period passes.
    bool abovePace() const { return usedPercent > elapsedPercent; }
};

// Nothing for a type without a quota, and for a period of no length.
std::optional<Tpace> paceOf(const Ttraffic& traffic, const TquotaPeriod& period, TDateTime now);
// Every type with a quota, in the model's order.
std::vector<Tpace> paceOf(const Tiinet& usage, TDateTime now);

} // namespace vantle
