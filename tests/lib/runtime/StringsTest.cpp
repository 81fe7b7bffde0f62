#include "lib/runtime/Strings.h"

#include "lib/runtime/Error.h"

#include <gtest/gtest.h>

#include <string>

using namespace vantle::runtime;
using namespace std::string_literals;
using vantle::Error;

TEST(Strings, ParsesOnlyStrictDecimalIntegers) {
    struct Case {
        const char* text;
        bool valid;
        std::int64_t value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"42", true, 42},
        {"  42", true, 42},
        {"+7", true, 7},
        {"-7", true, -7},
        {"  -2147483648", true, -2147483648LL},
        {"2147483647", true, 2147483647},
        {"42 ", false, 0}, // trailing blank
        {"4 2", false, 0},
        {"\t42", false, 0}, // only spaces lead
        {"", false, 0},
        {" ", false, 0},
        {"-", false, 0},
        {"+-1", false, 0},
        {"0x1A", false, 0},
        {"$1A", false, 0},
        {"1e3", false, 0},
        {"9:", false, 0},
        {"2147483648", false, 0}, // beyond 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::int32_t value = -99;
        ASSERT_EQ(tryStrToInt(c.text, value), c.valid);
        if (c.valid) {
            EXPECT_EQ(value, c.value);
        }
    }
}

TEST(Strings, Parses64BitIntegersToTheirLimits) {
    std::int64_t value = 0;
    EXPECT_TRUE(tryStrToInt64("9223372036854775807", value));
    EXPECT_EQ(value, INT64_MAX);
    EXPECT_TRUE(tryStrToInt64("-9223372036854775808", value));
    EXPECT_EQ(value, INT64_MIN);
    EXPECT_FALSE(tryStrToInt64("9223372036854775808", value));
    EXPECT_FALSE(tryStrToInt64("-9223372036854775809", value));
    EXPECT_TRUE(tryStrToInt64("1234567890", value));
    EXPECT_EQ(value, 1234567890);
}

TEST(Strings, TrimRemovesBlanksAndControlsAtBothEnds) {
    EXPECT_EQ(Trim(" \t\r\n a b \x01"), "a b");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("\xC3\xA9"), "\xC3\xA9"); // bytes above 0x7F are text
}

TEST(Strings, ReplaceAllLeftToRightWithoutOverlap) {
    struct Case {
        std::string s;
        std::string old;
        std::string replacement;
        std::string result;
    };
    const Case cases[] = {
        {"a\\b\\\\c\\", "\\", "\\\\", "a\\\\b\\\\\\\\c\\\\"},
        {"it's", "'", "\\'", "it\\'s"},
        {"aaa", "a", "aa", "aaaaaa"}, // the replacement holds the search text
        {"aaaa", "aa", "b", "bb"},
        {"aaa", "aa", "b", "ba"},
        {"aabb", "ab", "", "ab"}, // the joined remainder is not searched again
        {"abcabc", "abc", "", ""},
        {"aAa", "a", "x", "xAx"}, // case-sensitive
        {"x", "x", "yz", "yz"},
        {"", "a", "b", ""},
        {"abc", "", "x", "abc"},
        {"ab", "abc", "x", "ab"},
        {"abc", "d", "x", "abc"},
        {"a\0b\0"s, "\0"s, "0", "a0b0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.old + "\" by \"" + c.replacement + "\" in \"" + c.s + "\"");
        EXPECT_EQ(replaceAll(c.s, c.old, c.replacement), c.result);
    }
}

TEST(Strings, ReplaceAllRefusesAnOverlongResult) {
    // 1,000,000 replacements of 2148 bytes each pass the limit; refused before allocating.
    const std::string s(1000000, 'a');
    const std::string replacement(2148, 'b');
    try {
        replaceAll(s, "a", replacement);
        FAIL() << "no failure";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Out of memory");
    }
    // Removing text never passes the limit.
    EXPECT_EQ(replaceAll(s, "a", ""), "");
}
