// The text helpers: number grouping, ordinals, durations, the updated text, file addresses and
// substring search.
#include "outputs/textHelpers.h"

#include "config/configuration.h"
#include "lib/runtime/Error.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <string>

using namespace vantle;
using namespace std::string_literals;

TEST(TextHelpersTest, FormatMBGroupsThousands) {
    // Tests run in the C locale, which groups nothing, so "," every three digits.
    struct Case {
        std::int32_t value;
        const char* text;
    };
    const Case cases[] = {
        {1234567, "1,234,567"},
        {0, "0"},
        {-1, "-1"},
        {999, "999"},
        {1000, "1,000"},
        {-1000, "-1,000"},
        {-123456, "-123,456"},
        {25000, "25,000"},
        {INT32_MAX, "2,147,483,647"},
        {INT32_MIN, "-2,147,483,648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(formatMB(c.value), c.text);
    }
}

TEST(TextHelpersTest, ChooseTextPicksByFlag) {
    EXPECT_EQ(chooseText(true, "day", "days"), "day");
    EXPECT_EQ(chooseText(false, "day", "days"), "days");
}

TEST(TextHelpersTest, OrdinalTextSuffixes) {
    struct Case {
        std::int32_t value;
        const char* text;
    };
    const Case cases[] = {
        {1, "1st"},       {2, "2nd"},
        {3, "3rd"},       {4, "4th"},
        {10, "10th"},     {11, "11th"},
        {12, "12th"},     {13, "13th"},
        {21, "21st"},     {22, "22nd"},
        {23, "23rd"},     {31, "31st"},
        {0, "0th"},       {100, "100th"},
        {101, "101st"},   {111, "111th"},
        {112, "112th"},   {113, "113th"},
        {1012, "1012th"}, {-1, "-1st"},
        {-12, "-12th"},   {INT32_MIN, "-2147483648th"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ordinalText(c.value), c.text);
    }
}

TEST(TextHelpersTest, DurationTextLeavesOutZeroParts) {
    struct Case {
        std::uint32_t minutes;
        const char* text;
    };
    const Case cases[] = {
        {0, "Less than a minute"},
        {1, "1 minute"},
        {2, "2 minutes"},
        {59, "59 minutes"},
        {60, "1 hour"},
        {61, "1 hour, 1 minute"},
        {90, "1 hour, 30 minutes"},
        {120, "2 hours"},
        {1439, "23 hours, 59 minutes"},
        {1440, "1 day"},
        {1441, "1 day, 1 minute"},
        {1500, "1 day, 1 hour"},
        {2880, "2 days"},
        {2885, "2 days, 5 minutes"},
        {2941, "2 days, 1 hour, 1 minute"},
        // Past 71582788 minutes a count of seconds would wrap around 32 bits.
        {71582789, "49710 days, 6 hours, 29 minutes"},
        {UINT32_MAX, "2982616 days, 4 hours, 15 minutes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.minutes);
        EXPECT_EQ(durationText(c.minutes), c.text);
    }
}

namespace {

class TextHelpersUpdatedTest : public testing::Test {
protected:
    // A zone without summer time, so that no local time is skipped or repeated.
    test::ScopedTimeZone zone{"AWST-8"};
    test::ScopedUserFolders home;
    Tconfiguration configuration;

    static TDateTime at(int year, int month, int day, int hour, int minute, int second) {
        return runtime::encodeDateTime({year, month, day, hour, minute, second, 0});
    }
};

} // namespace

TEST_F(TextHelpersUpdatedTest, EmptyUntilTheFirstUpdate) {
    test::ScopedClock clock(at(2026, 12, 10, 12, 0, 0));
    EXPECT_EQ(updatedText(configuration), ""); // no marker file
    configuration.setUpdateTime(NeverUpdated);
    EXPECT_EQ(updatedText(configuration), "");
    configuration.setUpdateTime(at(2000, 1, 2, 0, 0, 0));
    EXPECT_EQ(updatedText(configuration), "");
    configuration.setUpdateTime(at(2000, 1, 2, 0, 0, 2));
    EXPECT_NE(updatedText(configuration), "");
}

TEST_F(TextHelpersUpdatedTest, WholeMinutesSinceTheUpdate) {
    const TDateTime updated = at(2026, 12, 10, 10, 0, 0);
    configuration.setUpdateTime(updated);
    ASSERT_EQ(configuration.updateTime(), updated);
    struct Case {
        TDateTime clock;
        const char* text;
    };
    const Case cases[] = {
        {updated, "Updated less than a minute ago"},
        {at(2026, 12, 10, 10, 0, 59), "Updated less than a minute ago"},
        {at(2026, 12, 10, 10, 1, 0), "Updated 1 minute ago"},
        {at(2026, 12, 10, 10, 1, 59), "Updated 1 minute ago"},
        {at(2026, 12, 10, 11, 30, 0), "Updated 1 hour, 30 minutes ago"},
        {at(2026, 12, 11, 10, 2, 30), "Updated 1 day, 2 minutes ago"},
        {at(2027, 12, 10, 10, 0, 0), "Updated 365 days ago"},
        // The clock was moved back after the update: no negative or wrapped-around count.
        {at(2026, 12, 10, 9, 59, 0), "Updated less than a minute ago"},
        {at(2026, 12, 9, 7, 0, 0), "Updated less than a minute ago"},
        {at(1999, 1, 1, 0, 0, 0), "Updated less than a minute ago"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(runtime::formatDateTime("yyyy-mm-dd hh:nn:ss", c.clock));
        test::ScopedClock clock(c.clock);
        EXPECT_EQ(updatedText(configuration), c.text);
    }
}

TEST(TextHelpersTest, FileUrlEscapesAllButSlashesAndUnreserved) {
    struct Case {
        const char* path;
        const char* url;
    };
    const Case cases[] = {
        {"/home/a b/x 1.png", "file:///home/a%20b/x%201.png"},
        {"/data/peak.png", "file:///data/peak.png"},
        {"/a-b.c_d~e/AZaz09", "file:///a-b.c_d~e/AZaz09"},
        {"/x#y/100%.png", "file:///x%23y/100%25.png"},
        {"/q?a=1&b+c;d", "file:///q%3Fa%3D1%26b%2Bc%3Bd"},
        {"/C:\\Data\\x.png", "file:///C%3A%5CData%5Cx.png"},
        {"/it's \"q\"", "file:///it%27s%20%22q%22"},
        {"/caf\xC3\xA9.png", "file:///caf%C3%A9.png"},
        {"/\x01\x7F\xFF", "file:///%01%7F%FF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(fileUrl(c.path), c.url);
    }
}

TEST(TextHelpersTest, FileUrlOfARelativePathStartsAtTheCurrentFolder) {
    struct ScopedCurrentFolder {
        std::filesystem::path previous = std::filesystem::current_path();
        explicit ScopedCurrentFolder(const std::string& folder) {
            std::filesystem::current_path(folder);
        }
        ~ScopedCurrentFolder() { std::filesystem::current_path(previous); }
    };
    test::TempDir folder;
    ScopedCurrentFolder inside(folder.path());
    const std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(fileUrl("html/x 1.png"), fileUrl(here + "/html/x 1.png"));
    EXPECT_EQ(fileUrl(""), fileUrl(here + "/"));
}

TEST(TextHelpersTest, PosFromFindsAtOrAfterStart) {
    struct Case {
        std::string sub;
        std::string s;
        std::size_t start;
        std::size_t position;
    };
    const Case cases[] = {
        {"b", "abc", 1, 2},      {"b", "abc", 2, 2},
        {"b", "abc", 3, 0},      {"c", "abc", 3, 3},
        {"abc", "abc", 1, 1},    {"abc", "abc", 2, 0}, // sub can no longer fit
        {"abcd", "abc", 1, 0},   {"aa", "aaaa", 2, 2},
        {"aa", "aaaa", 4, 0},    {"ab", "abab", 2, 3},
        {"", "abc", 1, 0},       {"", "", 1, 0},
        {"a", "", 1, 0},         {"a", "abc", 4, 0},
        {"a", "abc", 100, 0},    {"a", "abc", SIZE_MAX, 0},
        {"a", "abc", 0, 0},      {"B", "abc", 1, 0}, // case-sensitive
        {"\0b"s, "a\0b"s, 1, 2},                     // bytes, not C strings
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.sub + "\" in \"" + c.s + "\" from " + std::to_string(c.start));
        EXPECT_EQ(posFrom(c.sub, c.s, c.start), c.position);
    }
}
