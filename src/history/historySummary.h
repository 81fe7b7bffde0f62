// Days and quota periods derived from the history's samples: how much each traffic type used on
// each local day, and each period's totals as the provider last stated them.
#pragma once

#include "history/historyStore.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantle {

// A local calendar day as a whole day count (day 0 = 1899-12-30).
using Tday = std::int32_t;

struct TdayUse {
    Tday day = 0;
    std::int64_t usedBytes = 0;
    // A sample was taken on the day; otherwise its use is the day's share of a gap between
    // samples, spread evenly over the time.
    bool sampled = false;

    friend bool operator==(const TdayUse&, const TdayUse&) = default;
};

struct TtypeHistory {
    std::string classification;
    std::string name;
    std::int64_t usedBytes = 0; // the period's total, the provider's latest figure
    std::int64_t quotaMB = -1;
    std::vector<TdayUse> days; // oldest first; only days with a sample or a share of use
};

struct TquotaPeriod {
    Tday firstDay = 0;
    Tday lastDay = 0; // the day before the reset
    // The provider gave the period's day counts; without them the period spans its samples.
    bool datesKnown = false;
    Tday lastSampleDay = 0;
    std::vector<TtypeHistory> traffic; // as the latest sample lists them

    std::int32_t length() const { return lastDay - firstDay + 1; }
};

// The periods of the samples (taken in order of time), oldest first. A new period starts when
// the provider's reset date moves on (by more than a day, which a provider counting days in
// another time zone can shift it by) or, without day counts, when every figure that had use
// drops. A figure that drops inside a period is a restatement: no use, and the lower figure
// counts from then on. The use between two samples goes to the days between them in proportion
// to the time; at a reset the new figure is the use since the period's start. The first sample
// of all is only a starting point.
std::vector<TquotaPeriod> summariseHistory(const std::vector<ThistorySample>& samples);

// The same, one sample at a time: it keeps only the periods and the sample before.
class ThistorySummariser {
public:
    ThistorySummariser();
    ~ThistorySummariser();
    ThistorySummariser(const ThistorySummariser&) = delete;
    ThistorySummariser& operator=(const ThistorySummariser&) = delete;

    void add(const ThistorySample& sample);
    std::vector<TquotaPeriod> finish();

private:
    struct Building;
    std::vector<Building> built_;
    ThistorySample before_;
    bool started_ = false;
};

} // namespace vantle
