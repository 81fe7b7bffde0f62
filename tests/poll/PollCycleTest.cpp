// One poll cycle against vantle-sim on loopback, writing real files in temporary folders.
#include "poll/pollCycle.h"

#include "config/configuration.h"
#include "history/historyRecorder.h"
#include "lib/runtime/DateTime.h"
#include "support/HistorySamples.h"
#include "support/RunningServer.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "usage/iinet.h"
#include "usage/providers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <vector>

using namespace vantle;
using testing::ElementsAre;
using testing::HasSubstr;

namespace fs = std::filesystem;

namespace {

class PollCycleTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    Tconfiguration c;

    void useEndpoint(const std::string& urlTemplate) {
        c.domain = std::string(IinetDomain);
        c.providers[c.domain] = urlTemplate;
        c.username = "demo";
        c.password = "demo";
    }

    std::vector<std::string> outputs() const {
        return {c.trayIconFile, c.trayHintFile, c.statusFile, c.htmlFolder + "peak.png",
                c.htmlFolder + "offpeak.png"};
    }
};

} // namespace

TEST_F(PollCycleTest, ACycleWritesEveryOutputAndTheUpdateTime) {
    test::RunningSim sim(VANTLE_SIM, {"--static"});
    useEndpoint(sim.urlTemplate);
    test::ScopedClock clock(runtime::encodeDateTime({2026, 12, 10, 12, 0, 0, 0}));
    test::DebugCapture debug;
    EXPECT_TRUE(runPollCycle(c));
    EXPECT_THAT(debug.lines(), testing::IsEmpty());
    for (const std::string& file : outputs())
        EXPECT_TRUE(fs::is_regular_file(file)) << file;
    EXPECT_FALSE(fs::exists(c.htmlFolder + "freezone.png")); // no quota, no pie
    EXPECT_EQ(c.updateTime(), runtime::encodeDateTime({2026, 12, 10, 12, 0, 0, 0}));
    EXPECT_THAT(test::readFile(c.trayHintFile), testing::StartsWith("Peak: "));
    EXPECT_THAT(test::readFile(c.statusFile), HasSubstr("\"current\":\"Peak\""));
}

// A fetch that failed, or one whose account was changed while it ran (the tray window then no
// longer wants it): the outputs and the update time stay as they were.
TEST_F(PollCycleTest, AFailedOrUnwantedFetchTouchesNothing) {
    struct Case {
        const char* name;
        std::function<bool()> wanted;
        const char* said;
    };
    const Case cases[] = {
        {"the provider failed", {}, "503 Service Unavailable"},
        {"the account changed meanwhile", [] { return false; },
         "The account changed during the poll; its usage is not shown"},
    };
    test::RunningSim sim(VANTLE_SIM, {"--static", "--fault", "503@2"});
    useEndpoint(sim.urlTemplate);
    ASSERT_TRUE(runPollCycle(c));
    std::vector<std::string> before;
    for (const std::string& file : outputs())
        before.push_back(test::readFile(file));
    const TDateTime updated = c.updateTime();

    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        test::DebugCapture debug;
        EXPECT_FALSE(runPollCycle(c, nullptr, k.wanted));
        EXPECT_THAT(debug.lines(), ElementsAre(k.said));
        for (std::size_t i = 0; i < before.size(); ++i)
            EXPECT_EQ(test::readFile(outputs()[i]), before[i]) << outputs()[i];
        EXPECT_EQ(c.updateTime(), updated);
    }
}

TEST_F(PollCycleTest, WithoutTheCurrentTypeOnlyTheUpdateTimeIsStored) {
    // A provider whose document lists a freezone only: no peak or off-peak record.
    httplib::Server server;
    server.Get("/usage", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<ii_feed><volume_usage><expected_traffic_types>"
                             "<type classification=\"freezone\" used=\"5\"/>"
                             "</expected_traffic_types></volume_usage></ii_feed>",
                             "text/xml");
    });
    test::DebugCapture debug;
    bool done = false;
    {
        test::RunningServer running(server);
        useEndpoint(running.url("/usage?username=%USERNAME%&password=%PASSWORD%"));
        done = runPollCycle(c);
    }
    EXPECT_FALSE(done);
    EXPECT_THAT(debug.lines(), ElementsAre("Failed to find current traffic data"));
    for (const std::string& file : outputs())
        EXPECT_FALSE(fs::exists(file)) << file;
    EXPECT_NE(c.updateTime(), NeverUpdated);
}

TEST_F(PollCycleTest, AProviderErrorStillCompletesFromTheLastGoodDocument) {
    test::RunningSim sim(VANTLE_SIM, {"--static", "--fault", "error@2"});
    useEndpoint(sim.urlTemplate);
    ASSERT_TRUE(runPollCycle(c));
    EXPECT_TRUE(runPollCycle(c));
    EXPECT_THAT(test::readFile(c.statusFile),
                testing::StartsWith("{\"error\":\"Service temporarily unavailable\""));
    EXPECT_TRUE(fs::exists(c.htmlFolder + "peak.png"));
}

TEST_F(PollCycleTest, EachSuccessfulPollKeepsASampleAndWritesTheChart) {
    test::RunningSim sim(VANTLE_SIM, {"--static", "--fault", "error@3"});
    useEndpoint(sim.urlTemplate);
    for (int hour : {9, 10, 11}) {
        test::ScopedClock clock(runtime::encodeDateTime({2026, 12, 10, hour, 0, 0, 0}));
        EXPECT_TRUE(runPollCycle(c));
    }
    // The third answer carried the provider's error: its figures are the last good ones, kept
    // already.
    ThistoryStore store(historyDatabaseFile(c), ThistoryStore::Access::read);
    const std::vector<ThistorySample> samples = store.samples();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[1].local, runtime::encodeDateTime({2026, 12, 10, 10, 0, 0, 0}));
    ASSERT_FALSE(samples[1].traffic.empty());
    EXPECT_EQ(samples[1].traffic[0].classification, "peak");
    EXPECT_GT(samples[1].traffic[0].usedBytes, 0);
    EXPECT_GT(samples[1].daysRemaining, 0);
    EXPECT_THAT(test::readFile(historyChartFile(c)),
                testing::AllOf(testing::StartsWith("{\"period\":{\"first\":"),
                               HasSubstr("\"classification\":\"peak\"")));
}

// A history the poll cannot write to is moved aside once and a new one takes the sample; the
// poll itself goes on.
TEST_F(PollCycleTest, ADamagedOrLockedHistoryIsMovedAsideAndThePollSucceeds) {
    using Holder = std::optional<test::SimProcess>;
    struct Case {
        const char* name;
        std::function<void(const std::string& path, Holder& holder)> spoil;
        const char* aside;
    };
    const auto kept = [](const std::string& path) {
        ThistoryStore(path, ThistoryStore::Access::write)
            .append(test::pollSamples(runtime::encodeDateTime({2026, 11, 1}), 2000));
    };
    const Case cases[] = {
        {"filled with garbage",
         [](const std::string& path, Holder&) { test::writeFile(path, std::string(8192, 'x')); },
         "history.damaged.sqlite"},
        {"truncated",
         [&](const std::string& path, Holder&) {
             kept(path);
             fs::resize_file(path, fs::file_size(path) / 2);
         },
         "history.damaged.sqlite"},
        {"locked by another program",
         [&](const std::string& path, Holder& holder) {
             kept(path);
             holder.emplace(VANTLE_HISTORY_LOCK_HELPER, std::vector<std::string>{path});
             EXPECT_EQ(holder->nextLine(), "locked");
         },
         "history.locked.sqlite"},
    };
    test::RunningSim sim(VANTLE_SIM, {"--static"});
    useEndpoint(sim.urlTemplate);
    const std::string path = historyDatabaseFile(c);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        fs::remove(path);
        Holder holder;
        k.spoil(path, holder);
        const std::string before = test::readFile(path);
        test::DebugCapture debug;
        EXPECT_TRUE(runPollCycle(c));
        ASSERT_THAT(debug.lines(),
                    testing::ElementsAre(HasSubstr("; it was moved to " + c.dataFolder + k.aside +
                                                   " and a new history started")));
        EXPECT_EQ(test::readFile(c.dataFolder + k.aside), before);
        EXPECT_EQ(ThistoryStore(path, ThistoryStore::Access::read).samples().size(), 1u);
        EXPECT_TRUE(fs::exists(historyChartFile(c)));
        EXPECT_TRUE(fs::exists(c.statusFile));
    }
}

TEST_F(PollCycleTest, TheAccountResetClearsTheHistory) {
    test::RunningSim sim(VANTLE_SIM, {"--static"});
    useEndpoint(sim.urlTemplate);
    ASSERT_TRUE(runPollCycle(c));
    test::writeFile(c.dataFolder + "history.damaged.sqlite", "old");
    // A reader keeps SQLite's write-ahead log and shared-memory files in place.
    ThistoryStore reading(historyDatabaseFile(c), ThistoryStore::Access::read);
    ASSERT_EQ(reading.samples().size(), 1u);
    ASSERT_TRUE(fs::exists(historyDatabaseFile(c) + "-wal"));
    ASSERT_TRUE(fs::exists(historyDatabaseFile(c) + "-shm"));

    c.resetAccountData();
    for (const auto& entry : fs::directory_iterator(c.dataFolder))
        EXPECT_THAT(entry.path().filename().string(), testing::Not(testing::StartsWith("history")));
}

// A cycle that comes out the same leaves every output as it was (no new inode, no new times),
// so nothing is written back to the disk; only the update marker moves on. The status
// document's pace moves with the clock, so it comes out the same only at the same moment.
TEST_F(PollCycleTest, AnUnchangedCycleLeavesTheOutputsAloneButMarksTheUpdate) {
    test::RunningSim sim(VANTLE_SIM, {"--static"});
    useEndpoint(sim.urlTemplate);
    {
        test::ScopedClock clock(runtime::encodeDateTime({2026, 12, 10, 12, 0, 0, 0}));
        ASSERT_TRUE(runPollCycle(c));
    }
    const auto state = [](const std::vector<std::string>& outputs) {
        std::vector<std::tuple<ino_t, long, long>> files;
        for (const std::string& file : outputs) {
            struct stat s {};
            EXPECT_EQ(::stat(file.c_str(), &s), 0) << file;
            files.emplace_back(s.st_ino, s.st_mtim.tv_sec * 1000000000L + s.st_mtim.tv_nsec,
                               s.st_ctim.tv_sec * 1000000000L + s.st_ctim.tv_nsec);
        }
        return files;
    };
    std::vector<std::string> timeless = outputs();
    std::erase(timeless, c.statusFile);
    const auto before = state(timeless);
    test::ScopedClock later(runtime::encodeDateTime({2026, 12, 10, 12, 30, 0, 0}));
    ASSERT_TRUE(runPollCycle(c));
    EXPECT_EQ(state(timeless), before);
    EXPECT_EQ(c.updateTime(), runtime::encodeDateTime({2026, 12, 10, 12, 30, 0, 0}));

    const auto all = state(outputs());
    ASSERT_TRUE(runPollCycle(c));
    EXPECT_EQ(state(outputs()), all);
}
