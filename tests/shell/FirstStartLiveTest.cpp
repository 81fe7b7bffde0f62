// A new user's first start on an X server with a real tray: the program asks for the account,
// verifies it against vantle-sim, shows its icon, and a left click opens the status window with
// its pies. Keys and clicks are sent with xdotool, as a person would.
#include "config/configuration.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "support/XSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace vantle;
using namespace std::chrono_literals;

namespace {} // namespace

TEST(FirstStartLiveTest, AsksVerifiesShowsTheIconAndOpensTheStatusWindow) {
    test::ScopedUserFolders home;
    test::XSession x;
    if (!x.started())
        GTEST_SKIP() << x.why();
    test::RunningSim sim(VANTLE_SIM, {"--static"});
    Tconfiguration c{VANTLE_PROGRAM}; // its load records the program's build, as the program's does
    // Only where the provider is: no account yet.
    test::writeFile(c.configFile, "<conf><providers><iinet.net.au>" +
                                      test::xmlText(sim.urlTemplate) +
                                      "</iinet.net.au></providers></conf>");

    test::SimProcess program(VANTLE_PROGRAM, {});
    const std::string dialog = test::windowNamed("vantle - Configuration");
    ASSERT_FALSE(dialog.empty()) << program.errors();
    ASSERT_EQ(test::xdotool({"windowfocus", "--sync", dialog}), 0);
    // User name (focused first), the first account domain, the password, then Enter = Save.
    ASSERT_EQ(test::xdotool({"type", "--delay", "20", "demo"}), 0);
    ASSERT_EQ(test::xdotool({"key", "Tab", "Down", "Tab"}), 0);
    ASSERT_EQ(test::xdotool({"type", "--delay", "20", "demo"}), 0);
    ASSERT_EQ(test::xdotool({"key", "Return"}), 0);

    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!std::filesystem::exists(c.statusFile) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(std::filesystem::exists(c.statusFile)) << program.errors();
    c.load();
    EXPECT_EQ(c.username, "demo");
    EXPECT_EQ(c.password, "demo");

    const auto green = x.waitForColour(QColor(0, 128, 0));
    ASSERT_TRUE(green) << "no icon in the tray; " << program.errors();
    const QPoint at = *green + QPoint(1, 1);
    ASSERT_EQ(test::xdotool({"mousemove", "--sync", std::to_string(at.x()), std::to_string(at.y()),
                             "click", "1"}),
              0);
    EXPECT_FALSE(test::windowNamed("vantle").empty()) << program.errors();
    // The pies' fill colour on the screen: the page is live with the status document.
    EXPECT_TRUE(x.waitForColour(QColor(166, 202, 240))) << program.errors();
    // For a person to look at.
    std::filesystem::create_directories(VANTLE_ARTEFACTS);
    x.screenshot().save(VANTLE_ARTEFACTS "/first-start-status-window.png");
    x.screenshot()
        .copy(test::XSession::ScreenWidth - test::XSession::TrayWidth, 0, test::XSession::TrayWidth,
              test::XSession::TrayHeight)
        .save(VANTLE_ARTEFACTS "/first-start-tray.png");

    test::SimProcess quit(VANTLE_PROGRAM, {"-quit"});
    EXPECT_EQ(quit.wait(10s), 0);
    EXPECT_EQ(program.wait(15s), 0) << program.errors();
}
