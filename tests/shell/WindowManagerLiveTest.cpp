// The program's windows under a real window manager (openbox) on an X server of the test's own:
// the captions as the window manager reads them (_NET_WM_NAME), and the wait window above the
// configuration dialog while a verification waits on a stalled stand-in.
#include "config/configuration.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "support/XSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

using namespace vantle;
using namespace std::chrono_literals;

namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// Where the window is in the window manager's stacking order, bottom first; -1 when absent.
long stackingIndex(const std::string& window) {
    const std::vector<std::string> order = test::stackingOrder();
    const auto found = std::find(order.begin(), order.end(), window);
    return found == order.end() ? -1 : static_cast<long>(found - order.begin());
}

class WindowManagerLiveTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    test::XSession x{{.tray = test::XSession::Tray::xembed, .windowManager = true}};
    std::unique_ptr<test::RunningSim> sim;

    void SetUp() override {
        if (!x.started())
            GTEST_SKIP() << x.why();
    }

    void provider(std::vector<std::string> faults) {
        sim = std::make_unique<test::RunningSim>(VANTLE_SIM, faults);
        Tconfiguration c{VANTLE_PROGRAM};
        test::writeFile(c.configFile, "<conf><providers><iinet.net.au>" +
                                          test::xmlText(sim->urlTemplate) +
                                          "</iinet.net.au></providers></conf>");
    }
};

} // namespace

TEST_F(WindowManagerLiveTest, TheWaitWindowShowsAboveTheDialogItBelongsTo) {
    provider({"--fault", "stall"});
    test::SimProcess program(VANTLE_PROGRAM, {}); // no account: the dialog opens
    const std::string dialog = test::windowNamed("vantle - Configuration");
    ASSERT_FALSE(dialog.empty()) << program.errors();
    EXPECT_EQ(test::windowProperty(dialog, "_NET_WM_NAME"), quoted("vantle - Configuration"));

    ASSERT_EQ(test::xdotool({"windowfocus", "--sync", dialog}), 0);
    ASSERT_EQ(test::xdotool({"type", "--delay", "20", "demo"}), 0);
    ASSERT_EQ(test::xdotool({"key", "Tab", "Down", "Tab"}), 0);
    ASSERT_EQ(test::xdotool({"type", "--delay", "20", "demo"}), 0);
    ASSERT_EQ(test::xdotool({"key", "Return"}), 0);

    const std::string wait = test::windowNamed("Please Wait...");
    ASSERT_FALSE(wait.empty()) << program.errors();
    EXPECT_NE(test::windowProperty(wait, "WM_TRANSIENT_FOR").find("window id"), std::string::npos);
    // The window manager may take a moment to restack what it has just mapped.
    long waitAt = -1;
    long dialogAt = -1;
    for (int i = 0; i < 50 && !(waitAt > dialogAt && dialogAt >= 0); ++i) {
        std::this_thread::sleep_for(100ms);
        waitAt = stackingIndex(wait);
        dialogAt = stackingIndex(dialog);
    }
    EXPECT_GT(waitAt, dialogAt) << "the wait window is below the dialog";
    EXPECT_GE(dialogAt, 0);
    std::filesystem::create_directories(VANTLE_ARTEFACTS);
    x.screenshot().save(VANTLE_ARTEFACTS "/openbox-wait-window.png");
    // The verification would wait for the client's time-out: the program is killed with the scope.
}

TEST_F(WindowManagerLiveTest, EveryCaptionReadsAsItsOwnText) {
    provider({"--static"});
    const test::CommandRun run = test::runCommand(
        std::string("printf 'demo\\n' | ") + VANTLECTL +
        " configure --username demo --domain iinet.net.au 2>&1 && " + VANTLECTL + " poll 2>&1");
    ASSERT_EQ(run.status, 0) << run.output;
    test::SimProcess program(VANTLE_PROGRAM, {});
    const auto icon = x.waitForColour(QColor(0, 128, 0));
    ASSERT_TRUE(icon) << program.errors();
    const QPoint at = *icon + QPoint(1, 1);
    // A --sync move to where the pointer already is would wait for ever: away first.
    const auto click = [&](const char* button) {
        test::xdotool({"mousemove", "0", std::to_string(test::XSession::ScreenHeight - 1)});
        return test::xdotool({"mousemove", "--sync", std::to_string(at.x()), std::to_string(at.y()),
                              "click", button});
    };

    ASSERT_EQ(click("1"), 0); // the status window
    const std::string status = test::windowNamed("vantle");
    ASSERT_FALSE(status.empty()) << program.errors();
    EXPECT_EQ(test::windowProperty(status, "_NET_WM_NAME"), quoted("vantle"));
    // The page is drawn (its pies' colour): the window has settled and keeps the focus it has.
    EXPECT_TRUE(x.waitForColour(QColor(166, 202, 240))) << program.errors();

    ASSERT_EQ(click("3"), 0); // the menu: About
    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(test::xdotool({"key", "Down", "Return"}), 0);
    const std::string about = test::windowNamed("vantle - About");
    ASSERT_FALSE(about.empty()) << program.errors();
    EXPECT_EQ(test::windowProperty(about, "_NET_WM_NAME"), quoted("vantle - About"));
    EXPECT_FALSE(test::windowProperty(about, "_NET_WM_ICON").empty()) << "no window icon";

    test::SimProcess second(VANTLE_PROGRAM, {});
    const std::string box = test::windowNamed("vantle - Error");
    ASSERT_FALSE(box.empty()) << second.errors();
    EXPECT_EQ(test::windowProperty(box, "_NET_WM_NAME"), quoted("vantle - Error"));
    std::filesystem::create_directories(VANTLE_ARTEFACTS);
    x.screenshot().save(VANTLE_ARTEFACTS "/openbox-captions.png");
    test::xdotool({"windowfocus", "--sync", box});
    test::xdotool({"key", "Return"});
    EXPECT_EQ(second.wait(10s), 1);

    test::SimProcess quit(VANTLE_PROGRAM, {"-quit"});
    EXPECT_EQ(quit.wait(10s), 0);
    EXPECT_EQ(program.wait(15s), 0) << program.errors();
}
