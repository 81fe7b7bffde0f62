// The status document byte for byte at a fixed clock: members and their order, escaping, the
// reset text and share, empty parts, and the time-of-day texts.
#include "outputs/generate_json.h"

#include "StatusDocumentText.h"

#include "config/configuration.h"
#include "lib/runtime/DateTime.h"
#include "lib/runtime/Error.h"
#include "outputs/textHelpers.h"
#include "support/TestSupport.h"
#include "usage/iinet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>

using namespace vantle;
using testing::HasSubstr;

namespace {

// 2026-03-03 10:00:00; a constant, since the runtime's own constants may not be set up yet
// while this file's are.
constexpr TDateTime Now = 46084.0 + 10.0 / 24;

std::string document(const std::string& volumeUsage, const std::string& extra = "") {
    return "<?xml version=\"1.0\"?><ii_feed>" + extra + "<volume_usage>" + volumeUsage +
           "</volume_usage></ii_feed>";
}

std::string days(int soFar, int remaining) {
    return "<quota_reset><days_so_far>" + std::to_string(soFar) + "</days_so_far><days_remaining>" +
           std::to_string(remaining) + "</days_remaining></quota_reset>";
}

std::string type(const std::string& classification, const std::string& used,
                 const std::string& quota = "") {
    std::string t = "<type classification=\"" + classification + "\" used=\"" + used + "\"><name>" +
                    classification + "</name>";
    if (!quota.empty())
        t += "<quota_allocation>" + quota +
             "</quota_allocation><is_shaped speed=\"256\">false"
             "</is_shaped>";
    return t + "</type>";
}

std::string types(const std::string& list) {
    return "<expected_traffic_types>" + list + "</expected_traffic_types>";
}

class GenerateJsonTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    test::ScopedClock clock{Now};
    Tconfiguration configuration;
    Tiinet usage{configuration};

    // Stores the documents as the fetch does and loads them.
    void load(const std::string& current, const std::string& lastGood = "") {
        test::writeFile(configuration.dataFolder + "iinet-current.xml", current);
        if (!lastGood.empty())
            test::writeFile(configuration.dataFolder + "iinet-lastgood.xml", lastGood);
        usage.load();
    }

    std::string img(const std::string& classification) const {
        return fileUrl(configuration.htmlFolder + classification + ".png");
    }
};

} // namespace

TEST_F(GenerateJsonTest, FullDocumentWithAnEscapedProviderError) {
    load("<ii_feed><error>Say \"hi\" to O'Brien\\home&#13;&#10;next&#9;line</error></ii_feed>",
         test::readFile(VANTLE_FIXTURES "/usage/sample.xml"));
    configuration.setUpdateTime(Now - 90.0 / 1440);
    generateJson(configuration, usage);
    EXPECT_EQ(test::readFile(configuration.statusFile),
              "{\"error\":\"Say \\\"hi\\\" to O\\'Brien\\\\home\\r\\nnext\\tline\","
              "\"current\":\"Peak\",\"reset\":\"15th Mar (in 12 days)\",\"reset_percent\":\"60\","
              "\"updated\":\"Updated 1 hour, 30 minutes ago\",\"offpeak\":\"2am to 8am\","
              "\"freezone\":\"1,235 MB\",\"traffic\":["
              "{\"name\":\"Peak\",\"img\":\"" +
                  img("peak") +
                  "\",\"used\":\"11,250 MB\",\"unused\":\"13,750 MB\",\"quota\":\"25,000 MB\","
                  // The pace after the original members: 18 days and 10 hours of 30 gone.
                  "\"used_percent\":\"45\",\"elapsed_percent\":\"61\",\"projected_mb\":\"18326\","
                  "\"runs_out\":\"\",\"per_day_mb\":\"1187\","
                  "\"pace\":\"45 % used, 61 % of the month gone: on track\","
                  "\"projection\":\"At this rate: 18,326 MB by 15th Mar\","
                  "\"per_day\":\"Left per day: 1,187 MB\"},"
                  "{\"name\":\"Off Peak\",\"img\":\"" +
                  img("offpeak") +
                  "\",\"used\":\"4,217 MB\",\"unused\":\"30,783 MB\",\"quota\":\"35,000 MB\","
                  "\"used_percent\":\"12\",\"elapsed_percent\":\"61\",\"projected_mb\":\"6870\","
                  "\"runs_out\":\"\",\"per_day_mb\":\"2657\","
                  "\"pace\":\"12 % used, 61 % of the month gone: on track\","
                  "\"projection\":\"At this rate: 6,870 MB by 15th Mar\","
                  "\"per_day\":\"Left per day: 2,657 MB\"}]}");
}

TEST_F(GenerateJsonTest, EmptyTrafficArrayWithoutFreezoneOrOffpeakTimes) {
    load(document(days(18, 12) + types(type("peak", "5000000") + type("extra", "1", "0"))));
    EXPECT_EQ(statusDocument(configuration, usage, configuration.htmlFolder),
              "{\"error\":\"\",\"current\":\"Peak\",\"reset\":\"15th Mar (in 12 days)\","
              "\"reset_percent\":\"60\",\"updated\":\"\",\"offpeak\":\"12am to 12am\","
              "\"freezone\":\"\",\"traffic\":[]}");
}

TEST_F(GenerateJsonTest, ExceededQuotaShowsNegativeUnused) {
    load(document("<offpeak_start>22:00</offpeak_start><offpeak_end>23:30</offpeak_end>" +
                  days(1, 7) + types(type("peak", "25100000000", "25000"))));
    test::TempDir out;
    generateJson(configuration, usage, out.path() + "status.json", out.path() + "html/");
    EXPECT_EQ(test::readFile(out.path() + "status.json"),
              "{\"error\":\"\",\"current\":\"Peak\",\"reset\":\"10th Mar (in 7 days)\","
              "\"reset_percent\":\"13\",\"updated\":\"\",\"offpeak\":\"10pm to 11:30pm\","
              "\"freezone\":\"\",\"traffic\":[{\"name\":\"Peak\",\"img\":\"" +
                  fileUrl(out.path() + "html/peak.png") +
                  "\",\"used\":\"25,100 MB\",\"unused\":\"-100 MB\",\"quota\":\"25,000 MB\","
                  // Over the quota: it ran out today, nothing is left.
                  "\"used_percent\":\"100\",\"elapsed_percent\":\"18\",\"projected_mb\":\"141741\","
                  "\"runs_out\":\"2026-03-03\",\"per_day_mb\":\"0\","
                  "\"pace\":\"100 % used, 18 % of the month gone: quota used up\","
                  "\"projection\":\"At this rate: 141,741 MB by 10th Mar, ran out\","
                  "\"per_day\":\"Left per day: none\"}]}");
}

TEST_F(GenerateJsonTest, ResetTextAndShare) {
    struct Case {
        int soFar;
        int remaining;
        const char* members;
    };
    const Case cases[] = {
        {5, 0, "\"reset\":\"3rd Mar (today)\",\"reset_percent\":\"100\""},
        {5, 1, "\"reset\":\"4th Mar (tomorrow)\",\"reset_percent\":\"83\""},
        {28, 2, "\"reset\":\"5th Mar (in 2 days)\",\"reset_percent\":\"93\""},
        {1, 7, "\"reset\":\"10th Mar (in 7 days)\",\"reset_percent\":\"13\""}, // 12.5 away from 0
        {1, 29, "\"reset\":\"1st Apr (in 29 days)\",\"reset_percent\":\"3\""},
        {0, 0, "\"reset\":\"3rd Mar (today)\",\"reset_percent\":\"0\""}, // no period at all
        {INT_MAX, INT_MAX, "\"reset_percent\":\"50\""},                  // no overflow
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.members);
        load(document(days(c.soFar, c.remaining) + types(type("peak", "1", "10"))));
        EXPECT_THAT(statusDocument(configuration, usage, configuration.htmlFolder),
                    HasSubstr(c.members));
    }
}

TEST_F(GenerateJsonTest, WithoutTheCurrentRecordTheOldDocumentStays) {
    test::writeFile(configuration.statusFile, "old");
    load(document(days(1, 2) + types(type("freezone", "1"))));
    try {
        generateJson(configuration, usage);
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Failed to find current traffic data");
    }
    EXPECT_EQ(test::readFile(configuration.statusFile), "old");
}

TEST(TrafficCountTest, CountsTheElementsOfTheTopLevelTrafficList) {
    struct Case {
        const char* why;
        std::string text;
        int count;
    };
    const Case cases[] = {
        {"empty", "", 0},
        {"empty list", test::statusText({}), 0},
        {"two", test::statusText({{"Peak", "peak"}, {"Off Peak", "offpeak"}}), 2},
        {"three", test::statusText({{"A", "a"}, {"B", "b"}, {"C", "c"}}), 3},
        {"lookalikes in texts",
         test::statusText({{"[{\"traffic\":[{},{}]}", "x"}}, "\"traffic\":[{},{},{}] '{'"), 1},
        {"no such key", "{\"error\":\"\",\"other\":[{},{}]}", 0},
        {"nested key is not the list", "{\"a\":{\"traffic\":[{},{}]},\"traffic\":[{}]}", 1},
        {"unterminated list", "{\"traffic\":[{},{", 0},
        {"unterminated string", "{\"error\":\"abc", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(trafficCount(c.text), c.count);
    }
}

// What the writer lists is what the reader counts: only the types with a quota, whatever their
// names and the provider's error text hold.
TEST_F(GenerateJsonTest, TheReaderCountsTheTypesTheWriterListed) {
    struct Case {
        const char* why;
        std::string types;
        int count;
    };
    const auto named = [](const std::string& classification, const std::string& name) {
        return "<type classification=\"" + classification + "\" used=\"1\"><name>" +
               test::xmlText(name) +
               "</name><quota_allocation>5</quota_allocation>"
               "<is_shaped speed=\"256\">false</is_shaped></type>";
    };
    const Case cases[] = {
        {"none with a quota", type("peak", "5000000"), 0},
        {"two of three",
         type("peak", "1", "100") + type("freezone", "1") + type("offpeak", "1", "9"), 2},
        {"names that look like the list",
         type("peak", "1", "100") + named("a", "\"traffic\":[{},{}]") + named("b", "']}{[") +
             named("c", "\\"),
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        load("<ii_feed><error>\"traffic\":[{}] '{' \\</error></ii_feed>", document(types(c.types)));
        const std::string written = statusDocument(configuration, usage, configuration.htmlFolder);
        EXPECT_EQ(trafficCount(written), c.count) << written;
    }
}

TEST(GenerateJsonEscapeTest, BackslashFirstThenQuotesAndControls) {
    struct Case {
        const char* text;
        const char* escaped;
    };
    const Case cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"a\\b", "a\\\\b"},
        {"\"", "\\\""},
        {"\\\"", "\\\\\\\""}, // the backslash added for the quote is not doubled
        {"it's", "it\\'s"},
        {"\t\b\n\r", "\\t\\b\\n\\r"},
        {"\x01\x1f\x7f", "\x01\x1f\x7f"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(jsonEscape(c.text), c.escaped);
    }
}

TEST(GenerateJsonTimeTest, TwelveHourClock) {
    struct Case {
        std::int32_t minutes;
        const char* text;
    };
    const Case cases[] = {
        {0, "12am"},           {30, "12:30am"},       {90, "1:30am"},   {120, "2am"},
        {480, "8am"},          {615, "10:15am"},      {719, "11:59am"}, {720, "12pm"},
        {780, "1pm"},          {1439, "11:59pm"},     {1440, "12am"},   {-1, "11:59pm"},
        {INT32_MAX, "2:07am"}, {INT32_MIN, "9:52pm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.minutes);
        EXPECT_EQ(timeOfDayText(c.minutes), c.text);
    }
}
