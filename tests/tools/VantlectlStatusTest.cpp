// vantlectl status as scripts and status bars read it: strict JSON, the status bar's object with
// its class by threshold, and the exit status cron acts on.
#include "config/configuration.h"
#include "lib/runtime/DateTime.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace vantle;
using testing::HasSubstr;

namespace {

struct Outcome {
    int status = -1;
    std::string output;
};

Outcome vantlectl(const std::string& arguments) {
    const test::CommandRun run = test::runCommand(std::string(VANTLECTL) + " " + arguments);
    return {run.status, run.output};
}

QJsonObject parsed(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " in " << text;
    return document.object();
}

class VantlectlStatus : public testing::Test {
protected:
    test::ScopedUserFolders home;
    Tconfiguration c;

    void SetUp() override {
        c.username = "demo";
        c.domain = "iinet.net.au";
        c.password = "demo";
        c.save();
    }

    // Both types used so many megabytes of 25,000; a provider text with the characters JSON
    // must escape.
    void store(std::int64_t peakMB, std::int64_t offpeakMB) {
        const auto type = [](const char* classification, std::int64_t mb) {
            return std::string("<type classification=\"") + classification + "\" used=\"" +
                   std::to_string(mb * 1000000) + "\"><name>" + classification +
                   "</name><quota_allocation>25000</quota_allocation>"
                   "<is_shaped speed=\"256\">false</is_shaped></type>";
        };
        test::writeFile(c.dataFolder + "iinet-current.xml",
                        "<ii_feed><account_info><plan>A \"plan\"\\\t</plan></account_info>"
                        "<volume_usage><offpeak_start>02:00</offpeak_start><offpeak_end>08:00"
                        "</offpeak_end><quota_reset><days_so_far>10</days_so_far><days_remaining>"
                        "20</days_remaining></quota_reset><expected_traffic_types>" +
                            type("peak", peakMB) + type("offpeak", offpeakMB) +
                            "<type classification=\"freezone\" used=\"5\"><name>Free \"zone\""
                            "&#1;</name></type></expected_traffic_types></volume_usage></ii_feed>");
    }
};

TEST_F(VantlectlStatus, JsonIsStrictAndCarriesTheFigures) {
    store(12000, 2000);
    c.setUpdateTime(runtime::now() - 5.0 / 1440);
    test::writeFile(c.dataFolder + "lastfailure",
                    "time=46084.5\nkind=0\nsentence=Cannot \"reach\" it.\ndetail=x\n");
    const Outcome run = vantlectl("status --json");
    ASSERT_EQ(run.status, 0) << run.output;
    const QJsonObject status = parsed(run.output);
    EXPECT_EQ(status.value("account").toString(), "demo@iinet.net.au");
    EXPECT_TRUE(QDateTime::fromString(status.value("updated").toString(), Qt::ISODate).isValid())
        << run.output;
    EXPECT_NEAR(status.value("age_minutes").toDouble(), 5, 1);
    EXPECT_THAT(status.value("last_error").toString().toStdString(),
                HasSubstr("failed on 3rd Mar at 12:00: Cannot \"reach\" it."));
    EXPECT_TRUE(status.value("provider_error").isNull());
    const QJsonArray types = status.value("types").toArray();
    ASSERT_EQ(types.size(), 3);
    const QJsonObject peak = types[0].toObject();
    EXPECT_EQ(peak.value("classification").toString(), "peak");
    EXPECT_EQ(peak.value("used_mb").toInteger(), 12000);
    EXPECT_EQ(peak.value("quota_mb").toInteger(), 25000);
    EXPECT_DOUBLE_EQ(peak.value("used_percent").toDouble(), 48);
    // The period is 30 days, of which 10 and a part of today are gone.
    EXPECT_GE(peak.value("elapsed_percent").toDouble(), 100.0 / 3);
    EXPECT_LE(peak.value("elapsed_percent").toDouble(), 110.0 / 3);
    EXPECT_GT(peak.value("projected_mb").toDouble(), 12000);
    EXPECT_TRUE(peak.value("runs_out").isString()) << run.output; // 12,000 MB in ten days
    EXPECT_THAT(peak.value("pace").toString().toStdString(), HasSubstr("48 % used"));
    const QJsonObject freezone = types[2].toObject();
    EXPECT_EQ(freezone.value("name").toString(), QString::fromUtf8("Free \"zone\"\x01"));
    EXPECT_TRUE(freezone.value("quota_mb").isNull());
    EXPECT_FALSE(freezone.contains("pace"));
}

TEST_F(VantlectlStatus, WaybarClassAndExitStatusFollowTheThresholds) {
    struct Case {
        std::int64_t peakMB;
        std::int64_t offpeakMB;
        const char* className;
        int status;
    };
    // Either type counts; the highest threshold, 100 %, makes the exit status 3.
    const Case cases[] = {
        {5000, 5000, "normal", 0},    {20000, 5000, "warning", 0},  {5000, 24999, "warning", 0},
        {25000, 5000, "critical", 3}, {5000, 30000, "critical", 3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.peakMB) + " and " + std::to_string(k.offpeakMB));
        store(k.peakMB, k.offpeakMB);
        const Outcome run = vantlectl("status --waybar");
        EXPECT_EQ(run.status, k.status) << run.output;
        const QJsonObject bar = parsed(run.output);
        EXPECT_EQ(bar.value("class").toString(), k.className);
        EXPECT_TRUE(bar.value("text").toString().endsWith('%'));
        EXPECT_GE(bar.value("percentage").toInt(-1), 0);
        EXPECT_LE(bar.value("percentage").toInt(-1), 100);
        EXPECT_THAT(bar.value("tooltip").toString().toStdString(), HasSubstr("Peak: "));
        // The plain text and the JSON end the same way.
        EXPECT_EQ(vantlectl("status").status, k.status);
    }
    // Thresholds of the user's own: 95 % is the top one now.
    c.notifications.thresholds = {50, 95};
    c.save();
    store(24000, 5000);
    EXPECT_EQ(vantlectl("status --waybar").status, 3);
}

TEST_F(VantlectlStatus, WithoutStoredUsageItSaysSo) {
    Outcome run = vantlectl("status --json 2>&1");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("vantlectl status: no usage is stored yet"));
    run = vantlectl("status --xml 2>&1");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("takes --json or --waybar"));
}

} // namespace
