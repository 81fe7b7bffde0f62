// One poll cycle against vantle-sim on loopback, writing real files in temporary folders.
#include "poll/pollCycle.h"

#include "config/configuration.h"
#include "lib/runtime/DateTime.h"
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

// A cycle that comes out the same leaves every output as it was (no new inode, no new times),
// so nothing is written back to the disk; only the update marker moves on.
TEST_F(PollCycleTest, AnUnchangedCycleLeavesTheOutputsAloneButMarksTheUpdate) {
    test::RunningSim sim(VANTLE_SIM, {"--static"});
    useEndpoint(sim.urlTemplate);
    {
        test::ScopedClock clock(runtime::encodeDateTime({2026, 12, 10, 12, 0, 0, 0}));
        ASSERT_TRUE(runPollCycle(c));
    }
    const auto state = [this] {
        std::vector<std::tuple<ino_t, long, long>> files;
        for (const std::string& file : outputs()) {
            struct stat s {};
            EXPECT_EQ(::stat(file.c_str(), &s), 0) << file;
            files.emplace_back(s.st_ino, s.st_mtim.tv_sec * 1000000000L + s.st_mtim.tv_nsec,
                               s.st_ctim.tv_sec * 1000000000L + s.st_ctim.tv_nsec);
        }
        return files;
    };
    const auto before = state();
    test::ScopedClock later(runtime::encodeDateTime({2026, 12, 10, 12, 30, 0, 0}));
    ASSERT_TRUE(runPollCycle(c));
    EXPECT_EQ(state(), before);
    EXPECT_EQ(c.updateTime(), runtime::encodeDateTime({2026, 12, 10, 12, 30, 0, 0}));
}
