// The whole program on an X server of its own with a real tray: the first poll 100 ms after
// start writes the outputs from vantle-sim, and the tray shows the new icon.
#include "config/configuration.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "support/XSession.h"
#include "usage/providers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace vantle;
using namespace std::chrono_literals;

TEST(ProgramLiveTest, PollsAtStartAndShowsTheNewIconInTheTray) {
    test::ScopedUserFolders home;
    test::XSession x;
    if (!x.started())
        GTEST_SKIP() << x.why();
    test::RunningSim sim(VANTLE_SIM, {"--static"});
    {
        Tconfiguration c;
        test::writeFile(c.configFile, "<conf><providers><iinet.net.au>" +
                                          test::xmlText(sim.urlTemplate) +
                                          "</iinet.net.au></providers></conf>");
        c.load();
        c.username = "demo";
        c.domain = std::string(IinetDomain);
        c.password = "demo";
        c.save();
    }
    Tconfiguration c;
    test::SimProcess program(VANTLE_PROGRAM, {});
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!std::filesystem::exists(c.statusFile) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(std::filesystem::exists(c.statusFile)) << program.errors();
    EXPECT_THAT(test::readFile(c.trayHintFile), testing::MatchesRegex("(Peak|Off Peak): .*"));
    EXPECT_TRUE(std::filesystem::exists(c.trayIconFile));

    // The generated icon: a green wedge on a white disc.
    std::optional<QPoint> green;
    while (!green && std::chrono::steady_clock::now() < deadline + 5s) {
        const QImage screen = x.screenshot();
        ASSERT_FALSE(screen.isNull());
        green = test::findColour(screen, QColor(0, 128, 0));
        if (!green)
            std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(green) << program.errors();
    EXPECT_GE(green->x(), test::XSession::ScreenWidth - test::XSession::TrayWidth);
    EXPECT_LT(green->y(), test::XSession::TrayHeight);

    test::SimProcess quit(VANTLE_PROGRAM, {"-quit"});
    EXPECT_EQ(quit.wait(10s), 0);
    EXPECT_EQ(program.wait(10s), 0) << program.errors();
}
