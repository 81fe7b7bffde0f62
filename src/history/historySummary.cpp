// The derivation of days and periods from consecutive samples.
#include "history/historySummary.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>

namespace vantle {
namespace {

// Longer gaps (a clock gone wrong) are given to the later sample's day whole.
constexpr Tday MaxSpreadDays = 3660;

Tday dayOf(TDateTime local) {
    const double day = std::floor(local);
    return day > 1e9 || day < -1e9 ? 0 : static_cast<Tday>(day);
}

bool datesKnown(const ThistorySample& s) {
    return s.daysSoFar >= 0 && s.daysRemaining >= 0 && s.daysSoFar + s.daysRemaining > 0;
}

Tday resetDay(const ThistorySample& s) {
    return dayOf(s.local) + s.daysRemaining;
}

std::int64_t used(const ThistoryTraffic& t) {
    return std::max<std::int64_t>(t.usedBytes, 0);
}

const ThistoryTraffic* find(const ThistorySample& s, const std::string& classification) {
    for (const ThistoryTraffic& t : s.traffic)
        if (t.classification == classification)
            return &t;
    return nullptr;
}

bool startsPeriod(const ThistorySample& before, const ThistorySample& after) {
    if (datesKnown(before) && datesKnown(after))
        return std::abs(resetDay(after) - resetDay(before)) > 1;
    int had = 0;
    int dropped = 0;
    for (const ThistoryTraffic& t : before.traffic) {
        const ThistoryTraffic* now = find(after, t.classification);
        if (used(t) == 0 || now == nullptr)
            continue;
        ++had;
        if (used(*now) < used(t))
            ++dropped;
    }
    return had > 0 && dropped == had;
}

// A provider's figures are untrusted: sums stop at the largest count instead of wrapping.
void addTo(std::int64_t& sum, std::int64_t bytes) {
    sum = bytes > std::numeric_limits<std::int64_t>::max() - sum
              ? std::numeric_limits<std::int64_t>::max()
              : sum + bytes;
}

TdayUse& dayIn(std::map<Tday, TdayUse>& days, Tday day) {
    TdayUse& use = days[day];
    use.day = day;
    return use;
}

// The bytes used from one moment to the next, shared among the days by the time of each.
void spread(std::map<Tday, TdayUse>& days, std::int64_t bytes, TDateTime from, TDateTime to) {
    const Tday last = dayOf(to);
    const Tday first = dayOf(from);
    if (bytes == 0)
        return;
    if (!(to > from) || first >= last || last - first > MaxSpreadDays) {
        addTo(dayIn(days, last).usedBytes, bytes);
        return;
    }
    const double span = to - from;
    std::int64_t given = 0;
    for (Tday d = first; d < last; ++d) {
        const double overlap = std::min<double>(d + 1, to) - std::max<double>(d, from);
        // Never more than is left, so the last day's rest is never negative.
        const std::int64_t share = std::min<std::int64_t>(
            std::llround(static_cast<double>(bytes) * (overlap / span)), bytes - given);
        addTo(dayIn(days, d).usedBytes, share);
        given += share;
    }
    addTo(dayIn(days, last).usedBytes, bytes - given);
}

std::size_t typeIndex(TquotaPeriod& period, std::vector<std::map<Tday, TdayUse>>& days,
                      const ThistoryTraffic& t) {
    std::vector<TtypeHistory>& types = period.traffic;
    for (std::size_t i = 0; i < types.size(); ++i)
        if (types[i].classification == t.classification)
            return i;
    types.push_back({t.classification, t.name, 0, t.quotaMB, {}});
    days.emplace_back();
    return types.size() - 1;
}

} // namespace

struct ThistorySummariser::Building {
    TquotaPeriod period;
    std::vector<std::map<Tday, TdayUse>> days; // beside period.traffic
};

ThistorySummariser::ThistorySummariser() = default;
ThistorySummariser::~ThistorySummariser() = default;

void ThistorySummariser::add(const ThistorySample& s) {
    const ThistorySample* before = started_ ? &before_ : nullptr;
    const Tday day = dayOf(s.local);
    const bool fresh = before == nullptr || startsPeriod(*before, s);
    if (fresh) {
        built_.emplace_back();
        built_.back().period.firstDay = day;
        built_.back().period.lastDay = day;
    }
    Building& b = built_.back();
    TquotaPeriod& p = b.period;
    if (datesKnown(s)) {
        p.datesKnown = true;
        p.firstDay = day - s.daysSoFar;
        p.lastDay = resetDay(s) - 1;
    } else if (!p.datesKnown) {
        p.lastDay = std::max(p.lastDay, day);
    }
    p.lastSampleDay = day;
    for (const ThistoryTraffic& t : s.traffic) {
        const std::size_t i = typeIndex(p, b.days, t);
        TtypeHistory& type = p.traffic[i];
        type.name = t.name;
        type.usedBytes = t.usedBytes;
        type.quotaMB = t.quotaMB;
        std::map<Tday, TdayUse>& days = b.days[i];
        dayIn(days, day).sampled = true;
        if (before == nullptr)
            continue; // where the history starts, nothing is known of the use before
        if (fresh) {
            // The figure after a reset is all used since the period began.
            TDateTime from = before->local;
            if (p.datesKnown)
                from = std::max<TDateTime>(from, p.firstDay);
            spread(days, used(t), from, s.local);
        } else if (const ThistoryTraffic* was = find(*before, t.classification)) {
            // A figure restated downwards used nothing.
            spread(days, std::max<std::int64_t>(used(t) - used(*was), 0), before->local, s.local);
        }
    }
    before_ = s;
    started_ = true;
}

std::vector<TquotaPeriod> ThistorySummariser::finish() {
    std::vector<TquotaPeriod> periods;
    periods.reserve(built_.size());
    for (Building& b : built_) {
        for (std::size_t i = 0; i < b.days.size(); ++i) {
            std::vector<TdayUse>& days = b.period.traffic[i].days;
            days.reserve(b.days[i].size());
            for (const auto& [day, use] : b.days[i])
                days.push_back(use);
            if (!b.period.datesKnown && !days.empty())
                b.period.firstDay = std::min(b.period.firstDay, days.front().day);
        }
        periods.push_back(std::move(b.period));
    }
    built_.clear();
    started_ = false;
    return periods;
}

std::vector<TquotaPeriod> summariseHistory(const std::vector<ThistorySample>& samples) {
    ThistorySummariser summariser;
    for (const ThistorySample& s : samples)
        summariser.add(s);
    return summariser.finish();
}

} // namespace vantle
