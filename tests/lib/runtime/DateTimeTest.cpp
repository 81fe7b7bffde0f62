#include "lib/runtime/DateTime.h"

#include "lib/runtime/Error.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace vantle;
using namespace vantle::runtime;

TEST(DateTime, EncodesAndDecodesCalendarFields) {
    struct Case {
        DateTimeFields fields;
        TDateTime value;
    };
    // Day counts from the Delphi/OLE date convention: day 0 is 1899-12-30.
    const Case cases[] = {
        {{1899, 12, 30, 0, 0, 0, 0}, 0.0},   {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
        {{1970, 1, 1, 0, 0, 0, 0}, 25569.0}, {{1970, 1, 1, 8, 0, 0, 0}, 25569.0 + 1.0 / 3.0},
        {{2000, 1, 1, 0, 0, 0, 0}, 36526.0}, {{2000, 2, 29, 12, 0, 0, 0}, 36585.5},
        {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_DOUBLE_EQ(encodeDateTime(c.fields), c.value);
        EXPECT_EQ(decodeDateTime(c.value), c.fields);
    }
}

TEST(DateTime, RefusesFieldsOutsideTheCalendar) {
    const DateTimeFields invalid[] = {
        {2001, 2, 29, 0, 0, 0, 0}, {2000, 13, 1, 0, 0, 0, 0}, {2000, 1, 1, 24, 0, 0, 0},
        {2000, 1, 1, 0, 60, 0, 0}, {2000, 1, 0, 0, 0, 0, 0},  {0, 1, 1, 0, 0, 0, 0},
    };
    for (const DateTimeFields& f : invalid) {
        TDateTime value = 0;
        EXPECT_FALSE(tryEncodeDateTime(f, value));
        EXPECT_THROW(encodeDateTime(f), Error);
    }
}

TEST(DateTime, DecodingRoundsToTheMillisecondAndCarriesMidnight) {
    // One microsecond before midnight rounds up to the next day, not to 24:00:00.
    const DateTimeFields f = decodeDateTime(36526.0 - 1e-11);
    EXPECT_EQ(f, (DateTimeFields{2000, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(36526.0 + 0.5 / 86400000.0 * 0.9).millisecond, 0);
}

TEST(DateTime, UnixTimesAreUtcDayCounts) {
    EXPECT_DOUBLE_EQ(unixToDateTime(0), 25569.0);
    EXPECT_DOUBLE_EQ(unixToDateTime(86400 + 43200), 25570.5);
    EXPECT_EQ(dateTimeToUnix(36526.0), 946684800);
}

TEST(DateTime, LocalTimeFollowsTheTimeZone) {
    test::ScopedTimeZone perth("AWST-8");
    EXPECT_EQ(formatDateTime("yyyy-mm-dd hh:nn:ss", unixToLocal(0)), "1970-01-01 08:00:00");
    std::time_t seconds = 0;
    ASSERT_TRUE(localToUnix(encodeDateTime({2000, 1, 1, 8, 0, 0, 0}), seconds));
    EXPECT_EQ(seconds, 946684800);
    // 07:59:59 on 1970-01-01 in Perth is one second before the epoch: still a valid time.
    ASSERT_TRUE(localToUnix(encodeDateTime({1970, 1, 1, 7, 59, 59, 0}), seconds));
    EXPECT_EQ(seconds, -1);
}

TEST(DateTime, ClockCanBeReplacedAndRestored) {
    {
        test::ScopedClock fixed(36526.25);
        EXPECT_DOUBLE_EQ(now(), 36526.25);
    }
    EXPECT_GT(now(), 45000.0); // back on the system clock, well after 2023
}

TEST(DateTime, FormatsTheSystemsDateTexts) {
    const TDateTime t = encodeDateTime({2026, 3, 7, 9, 5, 3, 42});
    struct Case {
        const char* format;
        const char* text;
    };
    const Case cases[] = {
        {"yyyymmdd.hhnnss", "20260307.090503"},
        {"yyyy-mm-dd hhnnss", "2026-03-07 090503"},
        {" mmm", " Mar"}, // C locale short month name
        {"d/m/yy h:n:s.zzz", "7/3/26 9:5:3.042"},
        {"\"day\" dd 'of' mmmm", "day 07 of March"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(formatDateTime(c.format, t), c.text);
    }
    EXPECT_EQ(formatDateTime("yyyymmdd.hhnnss", 25569.0 + 1.0 / 3.0), "19700101.080000");
}
