#include "usage/iinet.h"

#include "usage/failures.h"

#include "config/configuration.h"
#include "lib/runtime/Error.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using namespace vantle;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

TDateTime atClock(int hour, int minute) {
    return runtime::encodeDateTime({2026, 12, 10, hour, minute, 0, 0});
}

// A volume-usage document with the given off-peak times and types.
std::string usageDocument(const std::string& offpeak, const std::string& types,
                          const std::string& extra = "") {
    return "<?xml version=\"1.0\"?>\n<ii_feed>" + extra +
           "<account_info><plan>Home 5</plan><product>ADSL2+</product></account_info>"
           "<volume_usage>" +
           offpeak +
           "<quota_reset><anniversary>14</anniversary><days_so_far>18</days_so_far>"
           "<days_remaining>12</days_remaining></quota_reset>"
           "<expected_traffic_types>" +
           types + "</expected_traffic_types></volume_usage></ii_feed>";
}

std::string window(const std::string& start, const std::string& end) {
    return "<offpeak_start>" + start + "</offpeak_start><offpeak_end>" + end + "</offpeak_end>";
}

const std::string peakType = "<type classification=\"peak\" used=\"1234567890\"><name>peak</name>"
                             "<quota_allocation>25000</quota_allocation>"
                             "<is_shaped speed=\"256\">false</is_shaped></type>";

class IinetTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    Tconfiguration configuration;
    Tiinet usage{configuration};

    std::string current() const {
        return configuration.dataFolder + std::string(CurrentDocumentName);
    }
    std::string lastGood() const {
        return configuration.dataFolder + std::string(LastGoodDocumentName);
    }
    void store(const std::string& document) { test::writeFile(current(), document); }
};

} // namespace

TEST_F(IinetTest, ANewModelIsEmpty) {
    EXPECT_TRUE(usage.trafficTypes().empty());
    EXPECT_FALSE(usage.hasTraffic("peak"));
    EXPECT_EQ(usage.offpeakStart, -1);
    EXPECT_EQ(usage.daysRemaining, -1);
    EXPECT_FALSE(usage.isOffpeak);
    try {
        usage.currentTraffic();
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Failed to find current traffic data");
    }
}

TEST_F(IinetTest, WithoutAStoredDocumentLoadFetchesOne) {
    // No account domain: the fetch fails before any network use.
    try {
        usage.load();
        FAIL() << "loaded";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Unsupported domain: ");
    }
    EXPECT_TRUE(usage.traffic.empty());
    EXPECT_EQ(usage.daysSoFar, -1);
    EXPECT_FALSE(std::filesystem::exists(current()));
}

TEST_F(IinetTest, ReadsTheSampleDocument) {
    test::writeFile(current(), test::readFile(VANTLE_FIXTURES "/usage/sample.xml"));
    test::ScopedClock noon(atClock(12, 0));
    usage.load();
    EXPECT_EQ(usage.plan, "Home 3");
    EXPECT_EQ(usage.product, "Naked DSL");
    EXPECT_EQ(usage.offpeakStart, 120);
    EXPECT_EQ(usage.offpeakEnd, 480);
    EXPECT_FALSE(usage.isOffpeak);
    EXPECT_EQ(usage.anniversary, 14);
    EXPECT_EQ(usage.daysSoFar, 18);
    EXPECT_EQ(usage.daysRemaining, 12);
    EXPECT_EQ(usage.error, "");
    EXPECT_THAT(usage.trafficTypes(), ElementsAre("peak", "offpeak", "freezone"));
    const Ttraffic peak = usage.currentTraffic();
    EXPECT_EQ(peak.name, "Peak");
    EXPECT_EQ(peak.usedBytes, 11250000000);
    EXPECT_EQ(peak.usedMB, 11250);
    EXPECT_EQ(peak.quotaMB, 25000);
    EXPECT_DOUBLE_EQ(peak.usedPercent, 45.0);
    EXPECT_FALSE(peak.shaped);
    EXPECT_EQ(peak.speed, 256);
}

TEST_F(IinetTest, OffpeakWindowIncludesBothEnds) {
    struct Case {
        std::string start, end;
        int hour, minute;
        bool offpeak;
    };
    const Case cases[] = {
        {"02:00", "08:00", 8, 0, true},   {"02:00", "08:00", 8, 1, false},
        {"02:00", "08:00", 1, 59, false}, {"02:00", "08:00", 2, 0, true},
        {"22:00", "06:00", 23, 0, false}, {"22:00", "06:00", 3, 0, false}, // start after end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start + "-" + c.end + " at " + std::to_string(c.hour) + ":" +
                     std::to_string(c.minute));
        store(usageDocument(window(c.start, c.end), peakType));
        test::ScopedClock clock(atClock(c.hour, c.minute));
        usage.load();
        EXPECT_EQ(usage.isOffpeak, c.offpeak);
        EXPECT_EQ(usage.currentClassification(), c.offpeak ? "offpeak" : "peak");
    }
}

TEST_F(IinetTest, MissingOffpeakTimesLeaveOnlyMidnight) {
    store(usageDocument("", peakType));
    {
        test::ScopedClock midnight(atClock(0, 0));
        usage.load();
        EXPECT_EQ(usage.offpeakStart, 0);
        EXPECT_EQ(usage.offpeakEnd, 0);
        EXPECT_TRUE(usage.isOffpeak);
    }
    test::ScopedClock later(atClock(0, 1));
    usage.load();
    EXPECT_FALSE(usage.isOffpeak);
}

TEST_F(IinetTest, TimesOfDayReadHoursAndMinutesByPosition) {
    struct Case {
        const char* text;
        int minutes;
    };
    const Case cases[] = {
        {"02:00", 120}, {"9:30", 0},   {"09:30:00", 570}, {"", 0},       {"23:59", 1439},
        {"09.30", 570}, {"0930", 540}, {"ab:cd", 0},      {"02:0", 120}, {"02:", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        store(usageDocument(window(c.text, "08:00"), ""));
        usage.load();
        EXPECT_EQ(usage.offpeakStart, c.minutes);
    }
}

TEST_F(IinetTest, DayCountsThatAreNotIntegersReadAsZero) {
    store("<r><volume_usage><quota_reset><anniversary>1x</anniversary>"
          "<days_so_far>18 </days_so_far><days_remaining> 12</days_remaining>"
          "</quota_reset></volume_usage></r>");
    usage.load();
    EXPECT_EQ(usage.anniversary, 0);
    EXPECT_EQ(usage.daysSoFar, 0);
    EXPECT_EQ(usage.daysRemaining, 12);
    EXPECT_EQ(usage.plan, "");
    EXPECT_TRUE(usage.traffic.empty()); // no expected_traffic_types element
}

TEST_F(IinetTest, ReadsTypeFiguresAndDisplayNames) {
    store(usageDocument(
        window("02:00", "08:00"),
        peakType +
            "<type classification=\"offpeak\" used=\"2500000\"><name>offpeak</name>"
            "<quota_allocation>1</quota_allocation><is_shaped speed=\"64\">False</is_shaped></type>"
            "<group><type classification=\"freezone\" used=\"3500000\"><name>freezone</name>"
            "</type></group>"
            "<type classification=\"bonus\" used=\"0\"><name>bonus</name></type>"
            "<type classification=\"x\" used=\"1\"><name>Peak</name></type>"
            "<type classification=\"y\" used=\"1\"><name></name></type>"
            "<type classification=\"z\" used=\"1\"><name>9lives</name></type>"));
    usage.load();
    ASSERT_EQ(usage.traffic.size(), 7u);
    const Ttraffic& peak = usage.traffic[0];
    EXPECT_EQ(peak.usedMB, 1235);
    EXPECT_NEAR(peak.usedPercent, 4.93827156, 1e-8);

    const Ttraffic& offpeak = usage.traffic[1];
    EXPECT_EQ(offpeak.name, "Off Peak");
    EXPECT_EQ(offpeak.usedMB, 2); // 2.5 MB: ties go to even
    EXPECT_DOUBLE_EQ(offpeak.usedPercent, 250.0);
    EXPECT_TRUE(offpeak.shaped); // only the exact text "false" means not shaped
    EXPECT_EQ(offpeak.speed, 64);

    const Ttraffic& freezone = usage.traffic[2]; // nested deeper: still a type
    EXPECT_EQ(freezone.name, "Freezone");
    EXPECT_EQ(freezone.usedMB, 4);
    EXPECT_EQ(freezone.quotaMB, -1);
    EXPECT_EQ(freezone.usedPercent, -1.0);
    EXPECT_FALSE(freezone.shaped);
    EXPECT_EQ(freezone.speed, 0);

    EXPECT_EQ(usage.traffic[3].name, "Bonus");
    EXPECT_EQ(usage.traffic[4].name, "Peak");
    EXPECT_EQ(usage.traffic[5].name, "");
    EXPECT_EQ(usage.traffic[6].name, "9lives");
}

TEST_F(IinetTest, ATypeThatCannotBeReadEndsTheTypes) {
    struct Case {
        const char* label;
        std::string badType;
        std::int64_t usedBytes;
        std::int64_t quotaMB;
        const char* message;
    };
    const Case cases[] = {
        {"no used", "<type classification=\"offpeak\"><name>offpeak</name></type>", 0, 0,
         "Cannot read traffic type \"offpeak\": its used value \"\" is not an integer"},
        {"used with a blank", "<type classification=\"offpeak\" used=\"5 \"/>", 0, 0,
         "its used value \"5 \" is not an integer"},
        {"quota not an integer",
         "<type classification=\"offpeak\" used=\"7\"><quota_allocation>lots</quota_allocation>"
         "</type>",
         7, 0, "its quota allocation \"lots\" is not an integer"},
        {"no is_shaped",
         "<type classification=\"offpeak\" used=\"7\"><quota_allocation>9</quota_allocation>"
         "</type>",
         7, 9, "no is_shaped element"},
        {"speed not an integer",
         "<type classification=\"offpeak\" used=\"7\"><quota_allocation>9</quota_allocation>"
         "<is_shaped speed=\"fast\">true</is_shaped></type>",
         7, 9, "its speed \"fast\" is not an integer"},
        {"quota out of range",
         "<type classification=\"offpeak\" used=\"7\">"
         "<quota_allocation>9223372036854775807</quota_allocation></type>",
         7, INT64_MAX, "out of range"},
    };
    const std::string later = "<type classification=\"freezone\" used=\"1\"/>";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        store(usageDocument(window("02:00", "08:00"), peakType + c.badType + later));
        test::DebugCapture debug;
        usage.load();
        EXPECT_THAT(usage.trafficTypes(), ElementsAre("peak", "offpeak"));
        EXPECT_EQ(usage.traffic[1].usedBytes, c.usedBytes);
        EXPECT_EQ(usage.traffic[1].quotaMB, c.quotaMB);
        EXPECT_THAT(debug.lines(), ElementsAre(HasSubstr(c.message)));
        EXPECT_EQ(usage.daysRemaining, 12); // the rest of the model is read
    }
}

TEST_F(IinetTest, AZeroQuotaKeepsThePercentageFinite) {
    store(usageDocument("", "<type classification=\"peak\" used=\"5\"><quota_allocation>0"
                            "</quota_allocation><is_shaped speed=\"1\">false</is_shaped></type>"));
    usage.load();
    EXPECT_EQ(usage.traffic.at(0).quotaMB, 0);
    EXPECT_EQ(usage.traffic.at(0).usedPercent, 0.0);
}

TEST_F(IinetTest, FindsTheFirstOfTwoTypesWithOneClassification) {
    store(usageDocument("", "<type classification=\"peak\" used=\"1000000\"/>"
                            "<type classification=\"peak\" used=\"2000000\"/>"));
    usage.load();
    EXPECT_THAT(usage.trafficTypes(), ElementsAre("peak", "peak"));
    EXPECT_EQ(usage.findTraffic("peak").usedMB, 1);
    EXPECT_TRUE(usage.hasTraffic("peak"));
    EXPECT_FALSE(usage.hasTraffic("Peak")); // by classification, exactly
    EXPECT_THROW(usage.findTraffic("Peak"), Error);
}

TEST_F(IinetTest, TextsAreTakenAsWritten) {
    store("<feed><account_info><plan>  Home <b>5</b> </plan><product><![CDATA[A&B]]></product>"
          "</account_info><error>  </error></feed>");
    test::writeFile(lastGood(), "<feed><account_info><plan> kept </plan></account_info></feed>");
    usage.load();
    EXPECT_EQ(usage.error, "  "); // white space is an error text too
    EXPECT_EQ(usage.plan, " kept ");
    EXPECT_EQ(Tiinet::readError([] {
                  pugi::xml_document d;
                  d.load_string("<a><b><error>nested</error></b></a>");
                  return d;
              }()),
              "");
}

TEST_F(IinetTest, AnErrorDocumentIsCompletedFromTheLastGoodOne) {
    store("<ii_feed><error>Authentication failed</error></ii_feed>");
    test::writeFile(lastGood(), usageDocument(window("01:00", "07:00"), peakType));
    usage.load();
    EXPECT_EQ(usage.error, "Authentication failed");
    EXPECT_EQ(usage.plan, "Home 5");
    EXPECT_EQ(usage.offpeakStart, 60);
    EXPECT_EQ(usage.daysSoFar, 18);
    EXPECT_THAT(usage.trafficTypes(), ElementsAre("peak"));
}

TEST_F(IinetTest, AnErrorDocumentWithoutALastGoodOneFails) {
    store("<ii_feed><error>Authentication failed</error></ii_feed>");
    try {
        usage.load();
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "The provider answered: Authentication failed");
    }
    EXPECT_EQ(usage.error, "Authentication failed");
    EXPECT_TRUE(usage.traffic.empty());
    EXPECT_EQ(usage.offpeakStart, -1);
}

TEST_F(IinetTest, DocumentsThatAreNotXmlFailNamingTheFile) {
    struct Case {
        const char* label;
        std::string content;
        const char* reason;
    };
    const std::string good = usageDocument(window("02:00", "08:00"), peakType);
    const Case cases[] = {
        {"empty", "", "No document element found at offset 0"},
        {"text", "Service temporarily unavailable", "No document element found"},
        {"truncated", good.substr(0, good.size() / 2), "at offset"},
        {"html", "<html><body><p>Bad gateway</body></html>", "Start-end tags mismatch"},
        {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "at offset"},
        // Stored by an earlier version, it would overflow the stack of every reader.
        {"nested 100,000 levels deep",
         "<ii_feed>" + test::nestedElements(100000, peakType) + "</ii_feed>",
         "nests deeper than 64 levels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        usage.error = "earlier";
        store(c.content);
        try {
            usage.load();
            FAIL() << "loaded";
        } catch (const Error& e) {
            EXPECT_THAT(e.what(),
                        HasSubstr("Cannot read the usage document \"" + current() + "\""));
            EXPECT_THAT(e.what(), HasSubstr(c.reason));
            EXPECT_EQ(failureKind(e), TfailureKind::storedUnreadable);
        }
        EXPECT_TRUE(usage.traffic.empty());
        EXPECT_EQ(usage.daysSoFar, -1);
        EXPECT_EQ(usage.error, "earlier");
    }
}

// An answer is parsed once, as load reads documents: a refusal (an error element, blank or not)
// sets the error; anything else passes only as a usage document with at least one type.
TEST_F(IinetTest, OnlyAUsageDocumentPassesAsAnAnswer) {
    const std::string good = usageDocument(window("02:00", "08:00"), peakType);
    struct Case {
        const char* label;
        std::string answer;
        const char* error; // the error text read, when it passes
        const char* why;   // the reason it fails, when it does
    };
    const Case cases[] = {
        {"usage document", good, "", nullptr},
        {"usage document with an empty error element", usageDocument("", peakType, "<error/>"), "",
         nullptr},
        {"refused login", "<ii_feed><error>Authentication failed</error></ii_feed>",
         "Authentication failed", nullptr},
        {"error of one blank", "<ii_feed><error> </error></ii_feed>", " ", nullptr},
        {"maintenance page in XHTML",
         "<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>"
         "Maintenance</title></head><body><p>Back soon</p></body></html>",
         nullptr, "its root element is <html>, not <ii_feed>"},
        {"the right root without a type", "<ii_feed><volume_usage/></ii_feed>", nullptr,
         "it lists no traffic type"},
        {"nested 100,000 levels deep",
         "<ii_feed>" + test::nestedElements(100000, peakType) + "</ii_feed>", nullptr,
         "nests deeper than 64 levels"},
        {"not XML", "Service temporarily unavailable", nullptr, "No document element found"},
        {"empty", "", nullptr, "No document element found"},
        {"cut off", good.substr(0, good.size() / 2), nullptr, "at offset"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Tiinet answer(configuration);
        try {
            answer.readAnswer(c.answer);
            ASSERT_NE(c.error, nullptr) << "passed";
            EXPECT_EQ(answer.error, c.error);
            EXPECT_EQ(answer.traffic.empty(), !answer.error.empty());
        } catch (const TfetchFailure& e) {
            ASSERT_NE(c.why, nullptr) << e.what();
            EXPECT_EQ(e.kind(), TfailureKind::notUsageDocument);
            EXPECT_THAT(e.what(), HasSubstr("The provider's answer is not a usage document: "));
            EXPECT_THAT(e.what(), HasSubstr(c.why));
        }
    }
    // Nothing is stored by reading.
    EXPECT_FALSE(std::filesystem::exists(current()));
    EXPECT_FALSE(std::filesystem::exists(lastGood()));
}

// Each type costs a picture and a column of the status window.
TEST_F(IinetTest, AtMostSixteenTypesAreRead) {
    std::string types;
    for (int i = 0; i < 2000; ++i)
        types += "<type classification=\"t" + std::to_string(i) + "\" used=\"1\"/>";
    store(usageDocument("", types));
    test::DebugCapture debug;
    usage.load();
    ASSERT_EQ(usage.traffic.size(), MaxTrafficTypes);
    EXPECT_EQ(usage.traffic.back().classification, "t15");
    EXPECT_THAT(debug.lines(), ElementsAre(HasSubstr("more than 16 traffic types")));
}

TEST_F(IinetTest, AnUnreadableLastGoodDocumentFails) {
    store("<ii_feed><error>Try later</error></ii_feed>");
    test::writeFile(lastGood(), "<ii_feed><volume_usage>");
    try {
        usage.load();
        FAIL();
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr(lastGood()));
    }
    EXPECT_EQ(usage.error, "Try later");
    EXPECT_TRUE(usage.traffic.empty());
}

TEST_F(IinetTest, ResetClearsTheModelButKeepsErrorAndClock) {
    store(usageDocument(window("00:00", "23:59"), peakType, "<error>e</error>"));
    test::writeFile(lastGood(), usageDocument(window("00:00", "23:59"), peakType));
    usage.load();
    ASSERT_TRUE(usage.isOffpeak);
    usage.reset();
    EXPECT_TRUE(usage.traffic.empty());
    EXPECT_EQ(usage.plan, "");
    EXPECT_EQ(usage.anniversary, -1);
    EXPECT_TRUE(usage.isOffpeak);
    EXPECT_EQ(usage.error, "e");
}
