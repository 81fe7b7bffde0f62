// What the user is told after each poll: each threshold once per quota period (also across a
// restart, which reads the state back from the data folder), shaping, two refused logins with
// polls held back until the account is saved, a day without an update, and nothing at all while
// switched off.
#include "outputs/alerts.h"

#include "config/configuration.h"
#include "lib/runtime/DateTime.h"
#include "support/TestSupport.h"
#include "usage/failures.h"
#include "usage/iinet.h"
#include "usage/lastFailure.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

using namespace vantle;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// 2026-03-03 10:00:00.
constexpr TDateTime Now = 46084.0 + 10.0 / 24;

std::vector<std::string> summaries(const std::vector<Talert>& alerts) {
    std::vector<std::string> texts;
    for (const Talert& a : alerts)
        texts.push_back(a.summary);
    return texts;
}

class AlertsTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    std::unique_ptr<Tconfiguration> configuration = std::make_unique<Tconfiguration>();

    // A usage model of a 25,000 MB peak quota with so many megabytes used.
    std::unique_ptr<Tiinet> usage(std::int64_t usedMB, int daysRemaining = 12, bool shaped = false,
                                  const std::string& error = "") {
        const std::string document =
            "<ii_feed><volume_usage><quota_reset><days_so_far>18</days_so_far><days_remaining>" +
            std::to_string(daysRemaining) +
            "</days_remaining></quota_reset><expected_traffic_types><type classification=\"peak\" "
            "used=\"" +
            std::to_string(usedMB * 1000000) +
            "\"><name>peak</name><quota_allocation>25000</quota_allocation><is_shaped "
            "speed=\"256\">" +
            (shaped ? "true" : "false") + "</is_shaped></type></expected_traffic_types>" +
            "</volume_usage></ii_feed>";
        test::writeFile(configuration->dataFolder + "lastgood.xml", document);
        test::writeFile(configuration->dataFolder + "current.xml",
                        error.empty() ? document
                                      : "<ii_feed><error>" + error + "</error></ii_feed>");
        auto model = std::make_unique<Tiinet>(*configuration);
        model->load(configuration->dataFolder + "current.xml",
                    configuration->dataFolder + "lastgood.xml");
        return model;
    }

    std::vector<std::string> after(const Tiinet& model, TDateTime now = Now) {
        noteOutcome(*configuration, &model, nullptr, now);
        return summaries(takeAlerts(*configuration));
    }

    std::vector<Talert> afterFailure(const std::string& detail, TDateTime now,
                                     TfailureKind kind = TfailureKind::providerError) {
        noteOutcome(*configuration, nullptr, std::make_exception_ptr(TfetchFailure(kind, detail)),
                    now);
        return takeAlerts(*configuration);
    }
};

TEST_F(AlertsTest, EachThresholdOncePerPeriodAcrossRestarts) {
    struct Step {
        const char* what;
        std::int64_t usedMB;
        int daysRemaining;
        std::vector<std::string> told;
    };
    const Step steps[] = {
        {"below", 19999, 12, {}},
        {"at 80 %", 20000, 12, {"Peak has reached 80 % of its quota"}},
        {"still between", 22000, 12, {}},
        // Past two at once: the higher one is told, the lower one not any more.
        {"over 90 % and 100 %", 25100, 12, {"Peak has reached 100 % of its quota"}},
        {"again over", 25200, 12, {}},
        // The next period: the use starts afresh, and so do the thresholds.
        {"a new period", 20500, 42, {"Peak has reached 80 % of its quota"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(after(*usage(step.usedMB, step.daysRemaining)), step.told);
        // A restart reads what was told back from the data folder.
        configuration = std::make_unique<Tconfiguration>();
        configuration->load();
    }
}

TEST_F(AlertsTest, TheBodySaysHowMuchAndWhenTheQuotaResets) {
    noteOutcome(*configuration, usage(22600).get(), nullptr, Now);
    const std::vector<Talert> alerts = takeAlerts(*configuration);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].kind, TalertKind::threshold);
    EXPECT_EQ(alerts[0].summary, "Peak has reached 90 % of its quota");
    EXPECT_EQ(alerts[0].body, "22,600 MB of 25,000 MB used; the quota resets on 15th Mar.");
    // Taken once: nothing waits any more.
    EXPECT_THAT(takeAlerts(*configuration), IsEmpty());
}

TEST_F(AlertsTest, BecomingShapedIsToldOnce) {
    EXPECT_THAT(after(*usage(100, 12, true)), ElementsAre("Peak is shaped"));
    EXPECT_THAT(after(*usage(100, 12, true)), IsEmpty());
    EXPECT_THAT(after(*usage(100, 12, false)), IsEmpty());
    EXPECT_THAT(after(*usage(100, 12, true)), ElementsAre("Peak is shaped"));
}

TEST_F(AlertsTest, TwoRefusedLoginsHoldPollsBackUntilTheAccountIsSaved) {
    // The first refusal alone may be the provider's hiccup.
    EXPECT_THAT(afterFailure("The provider answered: Authentication failed", Now), IsEmpty());
    EXPECT_FALSE(pollHeldBack(*configuration, Now));
    // The second comes with the last good figures: an answer that refuses all the same.
    noteOutcome(*configuration, usage(100, 12, false, "Authentication failed").get(), nullptr,
                Now + 0.02);
    const std::vector<Talert> alerts = takeAlerts(*configuration);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].kind, TalertKind::refusedLogin);
    EXPECT_EQ(alerts[0].body, holdBackSentence());
    const std::optional<TlastFailure> failure = readLastFailure(*configuration);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->sentence, holdBackSentence());
    EXPECT_EQ(failure->detail, "The provider answered: Authentication failed");

    EXPECT_TRUE(pollHeldBack(*configuration, Now + 0.02 + 5.9 / 24));
    EXPECT_FALSE(pollHeldBack(*configuration, Now + 0.02 + 6.1 / 24));
    // A third refusal six hours on is not told again, and holds back again.
    EXPECT_THAT(afterFailure("The provider answered: Authentication failed", Now + 0.3), IsEmpty());
    EXPECT_TRUE(pollHeldBack(*configuration, Now + 0.31));

    accountSaved(*configuration);
    EXPECT_FALSE(pollHeldBack(*configuration, Now + 0.31));
}

TEST_F(AlertsTest, OnlyRefusalsInARowCount) {
    // A fault of the provider's between two refusals breaks the row.
    afterFailure("The provider answered: Authentication failed", Now);
    afterFailure("The provider answered: Service temporarily unavailable", Now + 0.01);
    EXPECT_THAT(afterFailure("The provider answered: Authentication failed", Now + 0.02),
                IsEmpty());
    EXPECT_FALSE(pollHeldBack(*configuration, Now + 0.03));
    // A network failure is no answer: it neither counts nor breaks the row.
    afterFailure("Could not resolve host", Now + 0.04, TfailureKind::unreachable);
    EXPECT_EQ(afterFailure("The provider answered: Authentication failed", Now + 0.05).size(), 1u);
}

TEST_F(AlertsTest, ADayWithoutAnUpdateIsToldOnceWithTheFailuresSentence) {
    after(*usage(100), Now);
    EXPECT_THAT(afterFailure("Could not resolve host", Now + 0.5, TfailureKind::unreachable),
                IsEmpty());
    const std::vector<Talert> stale =
        afterFailure("Could not resolve host", Now + 1.01, TfailureKind::unreachable);
    ASSERT_EQ(stale.size(), 1u);
    EXPECT_EQ(stale[0].kind, TalertKind::stale);
    EXPECT_EQ(stale[0].body, failureSentence(TfailureKind::unreachable));
    EXPECT_THAT(afterFailure("timed out", Now + 1.5, TfailureKind::timedOut), IsEmpty());
    ASSERT_TRUE(readLastFailure(*configuration));
    EXPECT_EQ(readLastFailure(*configuration)->kind, TfailureKind::timedOut);

    // A success ends it: no failure to show, and the next day-long gap is told again.
    after(*usage(100), Now + 2);
    EXPECT_FALSE(readLastFailure(*configuration));
    EXPECT_EQ(afterFailure("x", Now + 3.1, TfailureKind::unreachable).size(), 1u);
}

TEST_F(AlertsTest, SwitchedOffNothingIsToldNowOrLater) {
    configuration->notifications.enabled = false;
    EXPECT_THAT(after(*usage(20000)), IsEmpty());
    configuration->notifications.enabled = true;
    EXPECT_THAT(after(*usage(20100)), IsEmpty());
    EXPECT_THAT(after(*usage(22500)), ElementsAre("Peak has reached 90 % of its quota"));
}

TEST(RefusedLoginTest, TellsARefusalFromAFault) {
    for (const char* text : {"Authentication failed", "Invalid username or password",
                             "LOGIN INCORRECT", "Bad credentials"})
        EXPECT_TRUE(isRefusedLogin(text)) << text;
    for (const char* text : {"Service temporarily unavailable", "", "Database error"})
        EXPECT_FALSE(isRefusedLogin(text)) << text;
}

} // namespace
