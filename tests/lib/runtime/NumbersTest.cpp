#include "lib/runtime/Numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

using namespace vantle::runtime;

TEST(Numbers, RoundingTiesGoToEvenOrAwayFromZero) {
    struct Case {
        double value;
        std::int64_t even;
        std::int64_t away;
    };
    const Case cases[] = {
        {2.5, 2, 3},    {3.5, 4, 4},  {-2.5, -2, -3},       {0.5, 0, 1},        {1.4999, 1, 1},
        {1.5001, 2, 2}, {-0.4, 0, 0}, {1234.5, 1234, 1235}, {4.93827156, 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(roundHalfEven(c.value), c.even);
        EXPECT_EQ(roundHalfAway(c.value), c.away);
    }
}

TEST(Numbers, FormatsWithoutDecimals) {
    EXPECT_EQ(formatFixed0(60.5), "61");
    EXPECT_EQ(formatFixed0(2.5), "3");
    EXPECT_EQ(formatFixed0(-0.4), "0");
    EXPECT_EQ(formatFixed0(1e20), "100000000000000000000");
    EXPECT_EQ(formatFixed0(std::nan("")), "NAN");
    EXPECT_EQ(formatFixed0(-INFINITY), "-INF");
}

TEST(Numbers, GroupsThousandsWithACommaWhereTheLocaleGroupsNothing) {
    ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0, "0"},
        {-1, "-1"},
        {999, "999"},
        {1000, "1,000"},
        {1234567, "1,234,567"},
        {-1234567, "-1,234,567"},
        {44.5, "45"},
        {999999.5, "1,000,000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(formatNumber0(c.value), c.text);
    }
    EXPECT_EQ(formatThousands(INT64_MIN), "-9,223,372,036,854,775,808");
}

TEST(Numbers, GroupsThousandsAsTheUsersLocaleDoes) {
    const char* locales[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE"};
    const char* found = nullptr;
    for (const char* name : locales)
        if ((found = std::setlocale(LC_NUMERIC, name)) != nullptr)
            break;
    if (found == nullptr)
        GTEST_SKIP() << "no German locale on this machine";
    EXPECT_EQ(formatThousands(1234567), "1.234.567");
    std::setlocale(LC_NUMERIC, "C");
}
