// The vantle program started as real processes: one instance per user, "-quit", "-dumpversion".
#include "platform/instanceRegistry.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

using namespace vantle;
using testing::HasSubstr;

namespace {

using namespace std::chrono_literals;

// Each test runs its instances in a profile of its own, without a display.
class ProgramTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    test::ScopedEnv platform{"QT_QPA_PLATFORM", "offscreen"};
    const std::string entry = "zintra.vantle." + platform::userName();

    platform::InstanceRecord record() const {
        return platform::readInstanceRecord(entry, VANTLE_PROGRAM);
    }

    // Waits until an instance has registered itself.
    bool waitForRegistration() const {
        for (int i = 0; i < 200; ++i) {
            if (record().processId != 0)
                return true;
            std::this_thread::sleep_for(25ms);
        }
        return false;
    }

    int runToEnd(const std::vector<std::string>& arguments) {
        test::SimProcess run(VANTLE_PROGRAM, arguments);
        return run.wait(10s);
    }
};

} // namespace

TEST_F(ProgramTest, QuitEndsTheRunningInstanceAndANewStartRuns) {
    test::SimProcess first(VANTLE_PROGRAM, {});
    ASSERT_TRUE(waitForRegistration()) << first.errors();
    EXPECT_EQ(runToEnd({"-quit"}), 0);
    EXPECT_EQ(first.wait(10s), 0);
    EXPECT_EQ(record(), (platform::InstanceRecord{0, 0})); // cleared on exit

    test::SimProcess second(VANTLE_PROGRAM, {});
    EXPECT_TRUE(waitForRegistration()) << second.errors();
    EXPECT_EQ(runToEnd({"-quit"}), 0);
    EXPECT_EQ(second.wait(10s), 0);
}

TEST_F(ProgramTest, QuitWithoutAnInstanceEndsQuietly) {
    EXPECT_EQ(runToEnd({"-quit"}), 0);
}

TEST_F(ProgramTest, ASecondStartIsRefused) {
    test::SimProcess first(VANTLE_PROGRAM, {});
    ASSERT_TRUE(waitForRegistration()) << first.errors();
    const platform::InstanceRecord owner = record();
    test::SimProcess second(VANTLE_PROGRAM, {});
    // Without a display its message box waits for a click; its diagnostic line says why.
    std::string said;
    for (int i = 0; i < 200 && said.find("already running") == std::string::npos; ++i) {
        std::this_thread::sleep_for(25ms);
        said = second.errors();
    }
    EXPECT_THAT(said, HasSubstr("vantle is already running."));
    EXPECT_EQ(record(), owner);
    EXPECT_EQ(runToEnd({"-quit"}), 0);
    EXPECT_EQ(first.wait(10s), 0);
}

TEST_F(ProgramTest, DumpVersionWritesOnlyTheVersionWhileAnInstanceRuns) {
    test::SimProcess first(VANTLE_PROGRAM, {});
    ASSERT_TRUE(waitForRegistration()) << first.errors();
    const std::string out = home.dataHome() + "out.txt";
    EXPECT_EQ(runToEnd({"-dumpversion", out}), 0);
    EXPECT_THAT(test::readFile(out), testing::MatchesRegex("[0-9]{8}\\.[0-9]{6}"));
    EXPECT_NE(record().processId, 0u); // the running instance is untouched
    EXPECT_EQ(runToEnd({"-quit"}), 0);
    EXPECT_EQ(first.wait(10s), 0);
}

TEST_F(ProgramTest, AKilledInstanceDoesNotBlockTheNextStart) {
    {
        test::SimProcess first(VANTLE_PROGRAM, {});
        ASSERT_TRUE(waitForRegistration()) << first.errors();
        first.signal(SIGKILL);
        first.wait(10s);
    }
    // The record is still on disk, but its process is gone.
    EXPECT_TRUE(std::filesystem::exists(home.runtimeDir() + "vantle/" + entry));
    EXPECT_EQ(record(), (platform::InstanceRecord{0, 0}));
    test::SimProcess next(VANTLE_PROGRAM, {});
    EXPECT_TRUE(waitForRegistration()) << next.errors();
    EXPECT_EQ(runToEnd({"-quit"}), 0);
    EXPECT_EQ(next.wait(10s), 0);
}
