// Days and periods derived from samples built in the test: resets, restatements, gaps, and a
// provider that gives no day counts.
#include "history/historySummary.h"

#include "history/historyJson.h"

#include "lib/runtime/DateTime.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <numeric>

using namespace vantle;

namespace {

constexpr std::int64_t MB = 1'000'000;

// 2026-12-01, the first day of a period that resets on 2027-01-01 (31 days).
const Tday December1 = static_cast<Tday>(runtime::encodeDateTime({2026, 12, 1}));

// A sample at hours after midnight of December1 + day, with peak (quota 25,000 MB) and off-peak
// figures in MB. soFar and remaining follow the December period unless given.
ThistorySample sample(int day, double hours, std::int64_t peakMB, std::int64_t offpeakMB = 0,
                      int soFar = -2, int remaining = -2) {
    ThistorySample s;
    s.local = December1 + day + hours / 24;
    s.taken = static_cast<std::int64_t>((s.local - runtime::UnixDateDelta) * 86400);
    s.daysSoFar = soFar == -2 ? day : soFar;
    s.daysRemaining = remaining == -2 ? 31 - day : remaining;
    s.traffic = {{"peak", "Peak", peakMB * MB, 25000, false},
                 {"offpeak", "Off Peak", offpeakMB * MB, 50000, false}};
    return s;
}

// A sample of the period after December (January, 31 days).
ThistorySample january(int day, double hours, std::int64_t peakMB) {
    return sample(31 + day, hours, peakMB, 0, day, 31 - day);
}

std::int64_t totalOfDays(const TtypeHistory& t) {
    return std::accumulate(t.days.begin(), t.days.end(), std::int64_t{0},
                           [](std::int64_t sum, const TdayUse& d) { return sum + d.usedBytes; });
}

} // namespace

namespace vantle {
void PrintTo(const TdayUse& d, std::ostream* out) {
    *out << "{day " << d.day << ", " << d.usedBytes << " bytes" << (d.sampled ? ", sampled}" : "}");
}
} // namespace vantle

TEST(HistorySummaryTest, NoSamplesNoPeriods) {
    EXPECT_TRUE(summariseHistory({}).empty());
}

TEST(HistorySummaryTest, TheFirstSampleIsOnlyTheStartingPoint) {
    const auto periods = summariseHistory({sample(4, 12, 900)});
    ASSERT_EQ(periods.size(), 1u);
    const TquotaPeriod& p = periods[0];
    EXPECT_TRUE(p.datesKnown);
    EXPECT_EQ(p.firstDay, December1);
    EXPECT_EQ(p.lastDay, December1 + 30);
    EXPECT_EQ(p.length(), 31);
    EXPECT_EQ(p.traffic[0].usedBytes, 900 * MB);
    // The day has data (a sample), but nothing is known of what was used on it.
    EXPECT_THAT(p.traffic[0].days, testing::ElementsAre(TdayUse{December1 + 4, 0, true}));
}

TEST(HistorySummaryTest, UseBetweenSamplesGoesToTheirDays) {
    const auto periods = summariseHistory({sample(0, 1, 0, 0), sample(0, 13, 100, 10),
                                           sample(1, 9, 250, 10), sample(1, 20, 260, 40)});
    ASSERT_EQ(periods.size(), 1u);
    const TtypeHistory& peak = periods[0].traffic[0];
    const TtypeHistory& offpeak = periods[0].traffic[1];
    EXPECT_EQ(peak.classification, "peak");
    EXPECT_EQ(offpeak.name, "Off Peak");
    // 13:00 to 09:00 next day: 11 of its 20 hours lie on the first day.
    EXPECT_THAT(peak.days,
                testing::ElementsAre(TdayUse{December1, 100 * MB + 150 * MB * 11 / 20, true},
                                     TdayUse{December1 + 1, 150 * MB * 9 / 20 + 10 * MB, true}));
    EXPECT_EQ(totalOfDays(peak), 260 * MB);
    EXPECT_EQ(totalOfDays(offpeak), 40 * MB);
}

TEST(HistorySummaryTest, AFigureRestatedDownwardsUsesNothing) {
    const auto periods = summariseHistory(
        {sample(3, 0, 100), sample(3, 6, 200), sample(3, 12, 150), sample(3, 18, 250)});
    ASSERT_EQ(periods.size(), 1u); // no reset: the day counts say the same period
    const TtypeHistory& peak = periods[0].traffic[0];
    ASSERT_EQ(peak.days.size(), 1u);
    // 100 up, then 50 down (nothing), then 100 up from the lower figure.
    EXPECT_EQ(peak.days[0].usedBytes, 200 * MB);
    EXPECT_EQ(peak.usedBytes, 250 * MB); // the period's total is the provider's latest figure
}

TEST(HistorySummaryTest, AGapOfDaysIsSharedOverItsDays) {
    const auto periods = summariseHistory({sample(1, 12, 0), sample(4, 12, 300)});
    const TtypeHistory& peak = periods.at(0).traffic[0];
    EXPECT_THAT(peak.days, testing::ElementsAre(TdayUse{December1 + 1, 50 * MB, true},
                                                TdayUse{December1 + 2, 100 * MB, false},
                                                TdayUse{December1 + 3, 100 * MB, false},
                                                TdayUse{December1 + 4, 50 * MB, true}));
}

TEST(HistorySummaryTest, AResetStartsANewPeriodWithTheUseSinceItsStart) {
    const auto periods = summariseHistory(
        {sample(29, 12, 20000), sample(30, 18, 21000), january(0, 6, 80), january(0, 18, 200)});
    ASSERT_EQ(periods.size(), 2u);
    EXPECT_EQ(periods[0].traffic[0].usedBytes, 21000 * MB);
    EXPECT_EQ(periods[0].lastDay, December1 + 30);
    const TquotaPeriod& jan = periods[1];
    EXPECT_EQ(jan.firstDay, December1 + 31);
    EXPECT_EQ(jan.traffic[0].usedBytes, 200 * MB);
    // The 80 MB after the reset count from midnight, on January's first day, not December's.
    ASSERT_EQ(jan.traffic[0].days.size(), 1u);
    EXPECT_EQ(jan.traffic[0].days[0], (TdayUse{December1 + 31, 200 * MB, true}));
    EXPECT_EQ(totalOfDays(periods[0].traffic[0]), 1000 * MB);
}

TEST(HistorySummaryTest, TheResetDateShiftedByADayIsTheSamePeriod) {
    // A provider counting days in another time zone: before local midnight it already counts
    // the next day, so the reset date seems a day earlier for a while.
    const auto periods =
        summariseHistory({sample(5, 20, 100), sample(5, 23, 120, 0, 6, 25), sample(6, 1, 150)});
    ASSERT_EQ(periods.size(), 1u);
    EXPECT_EQ(totalOfDays(periods[0].traffic[0]), 50 * MB);
}

TEST(HistorySummaryTest, WithoutDayCountsAResetIsEveryFigureDropping) {
    // days so far and remaining both 0: the provider gave no reset date.
    const auto periods = summariseHistory({sample(3, 0, 500, 40, 0, 0), sample(4, 0, 600, 30, 0, 0),
                                           sample(5, 0, 700, 50, 0, 0), sample(6, 0, 20, 5, 0, 0)});
    ASSERT_EQ(periods.size(), 2u);
    EXPECT_FALSE(periods[0].datesKnown);
    EXPECT_EQ(periods[0].firstDay, December1 + 3);
    EXPECT_EQ(periods[0].lastDay, December1 + 5);
    // The off-peak drop alone was a restatement.
    EXPECT_EQ(totalOfDays(periods[0].traffic[0]), 200 * MB);
    EXPECT_EQ(totalOfDays(periods[0].traffic[1]), 20 * MB);
    EXPECT_EQ(periods[1].traffic[0].usedBytes, 20 * MB);
    EXPECT_EQ(totalOfDays(periods[1].traffic[0]), 20 * MB);
}

TEST(HistorySummaryTest, HostileFiguresNeitherGoNegativeNorWrap) {
    constexpr std::int64_t Most = std::numeric_limits<std::int64_t>::max();
    std::vector<ThistorySample> samples;
    for (std::int64_t used : {Most, std::int64_t{0}, Most, std::int64_t{-5}, Most}) {
        samples.push_back(sample(3, 1.0 + static_cast<double>(samples.size()), 0));
        samples.back().traffic[0].usedBytes = used;
        samples.back().traffic[0].quotaMB = Most;
    }
    const auto periods = summariseHistory(samples);
    ASSERT_EQ(periods.size(), 1u);
    ASSERT_EQ(periods[0].traffic[0].days.size(), 1u);
    // Two rises by the largest figure: the sum stops there.
    EXPECT_EQ(periods[0].traffic[0].days[0].usedBytes, Most);
    EXPECT_THAT(periodDaysJson(periods[0]), testing::HasSubstr("\"pace_bytes\":29752"));
}
