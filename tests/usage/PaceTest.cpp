// Pace and projection on fixed clocks: where in the period the clock stands, how the use
// extrapolates, when the quota runs out and what is left per day.
#include "usage/pace.h"

#include "lib/runtime/DateTime.h"
#include "usage/iinet.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vantle;

namespace {

TDateTime at(int year, int month, int day, int hour) {
    return runtime::encodeDateTime({year, month, day, hour});
}

Ttraffic traffic(double usedMB, std::int64_t quotaMB) {
    Ttraffic t;
    t.classification = "peak";
    t.name = "Peak";
    t.usedBytes = static_cast<std::int64_t>(std::llround(usedMB * 1e6));
    t.quotaMB = quotaMB;
    return t;
}

struct Case {
    const char* what;
    TDateTime now;
    int daysSoFar;
    int daysRemaining;
    double usedMB;
    std::int64_t quotaMB;
    double elapsedPercent;
    double projectedMB;
    TDateTime runsOut; // 0: none
    double perDayMB;
};

// 2026-02 has 28 days, 2026-03 31; the reset day is the 1st.
const Case kCases[] = {
    // Noon of the reset day: half a day of a 30-day period; 600 MB in it is 1,200 a day.
    {"first day", at(2026, 4, 1, 12), 0, 30, 600, 30000, 0.5 / 30 * 100, 36000,
     at(2026, 4, 1, 0) + 25, 29400 / 29.5},
    // 18:00 on the last day: what is left is what today may use.
    {"last day", at(2026, 4, 30, 18), 29, 1, 20000, 25000, 29.75 / 30 * 100, 20000 / 29.75 * 30, 0,
     5000},
    {"zero use", at(2026, 4, 10, 0), 9, 21, 0, 30000, 30.0, 0, 0, 30000 / 21.0},
    // Over the quota: it has run out now and nothing is left.
    {"over quota", at(2026, 4, 20, 12), 19, 11, 26000, 25000, 19.5 / 30 * 100, 26000 / 19.5 * 30,
     at(2026, 4, 20, 12), 0},
    {"28-day month", at(2026, 2, 15, 12), 14, 14, 14000, 28000, 14.5 / 28 * 100, 14000 / 14.5 * 28,
     0, 14000 / 13.5},
    // The same use in a month of 31 days runs out before its end.
    {"31-day month", at(2026, 3, 15, 12), 14, 17, 14000, 28000, 14.5 / 31 * 100, 14000 / 14.5 * 31,
     at(2026, 3, 1, 0) + 28000 / (14000 / 14.5), 14000 / 16.5},
};

TEST(PaceTest, FiguresOnFixedClocks) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const TquotaPeriod period = quotaPeriod(c.daysSoFar, c.daysRemaining, c.now);
        const std::optional<Tpace> pace = paceOf(traffic(c.usedMB, c.quotaMB), period, c.now);
        ASSERT_TRUE(pace.has_value());
        EXPECT_NEAR(pace->elapsedPercent, c.elapsedPercent, 1e-6);
        EXPECT_NEAR(pace->usedPercent, c.usedMB / static_cast<double>(c.quotaMB) * 100, 1e-6);
        EXPECT_NEAR(pace->projectedMB, c.projectedMB, 1e-3);
        EXPECT_NEAR(pace->perDayMB, c.perDayMB, 1e-3);
        EXPECT_EQ(pace->runsOut.has_value(), c.runsOut != 0);
        if (pace->runsOut && c.runsOut != 0) {
            EXPECT_NEAR(*pace->runsOut, c.runsOut, 1e-6);
        }
        EXPECT_EQ(pace->periodEnd, std::floor(c.now) + c.daysRemaining);
    }
}

TEST(PaceTest, TypesWithoutQuotaOrPeriodHaveNone) {
    const TDateTime now = at(2026, 4, 10, 0);
    EXPECT_FALSE(paceOf(traffic(100, -1), quotaPeriod(9, 21, now), now));
    EXPECT_FALSE(paceOf(traffic(100, 0), quotaPeriod(9, 21, now), now));
    // A document without its day counts (0 and 0) gives a period of no length.
    EXPECT_FALSE(paceOf(traffic(100, 25000), quotaPeriod(0, 0, now), now));
}

TEST(PaceTest, RightAfterTheResetTheRateIsTakenOverAnHour) {
    // Five minutes into the period, 100 MB would project to 864,000 MB by the minute's rate.
    const TDateTime now = at(2026, 4, 1, 0) + 5.0 / 1440;
    const std::optional<Tpace> pace = paceOf(traffic(100, 25000), quotaPeriod(0, 30, now), now);
    ASSERT_TRUE(pace);
    EXPECT_NEAR(pace->projectedMB, 100 * 24 * 30, 1e-6);
}

} // namespace
