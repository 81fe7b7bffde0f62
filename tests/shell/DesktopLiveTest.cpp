// The program on an X server of its own with a real tray, with a configured account on
// vantle-sim: what a person sees and does on a desktop.
#include "config/configuration.h"
#include "lib/runtime/DateTime.h"
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
using testing::HasSubstr;

namespace {

std::size_t lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class DesktopLiveTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    test::XSession x;
    test::TempDir logs;
    std::string simLog = logs.file("sim.log");
    std::unique_ptr<test::RunningSim> sim;

    void SetUp() override {
        if (!x.started())
            GTEST_SKIP() << x.why();
    }

    // A configured account on a stand-in with the given faults, and one poll done already.
    void configure(std::vector<std::string> faults = {}) {
        faults.insert(faults.end(), {"--static", "--log", simLog});
        sim = std::make_unique<test::RunningSim>(VANTLE_SIM, faults);
        Tconfiguration c;
        test::writeFile(c.configFile, "<conf><providers><iinet.net.au>" +
                                          test::xmlText(sim->urlTemplate) +
                                          "</iinet.net.au></providers></conf>");
        const test::CommandRun run = test::runCommand(
            std::string("printf 'demo\\n' | ") + VANTLECTL +
            " configure --username demo --domain iinet.net.au 2>&1 && " + VANTLECTL + " poll 2>&1");
        ASSERT_EQ(run.status, 0) << run.output;
    }

    std::optional<QPoint> iconInTray() const { return x.waitForColour(QColor(0, 128, 0)); }

    void quit(test::SimProcess& program) {
        test::SimProcess ending(VANTLE_PROGRAM, {"-quit"});
        EXPECT_EQ(ending.wait(10s), 0);
        EXPECT_EQ(program.wait(15s), 0) << program.errors();
    }
};

} // namespace

TEST_F(DesktopLiveTest, ARestartWithinTwentyMinutesMakesNoRequest) {
    configure();
    Tconfiguration c;
    c.setUpdateTime(runtime::now() - 5.0 / 1440.0);
    const std::size_t before = lines(test::readFile(simLog));
    test::SimProcess program(VANTLE_PROGRAM, {});
    ASSERT_TRUE(iconInTray()) << program.errors();
    std::this_thread::sleep_for(1s); // well past the first tick at 100 ms
    EXPECT_EQ(lines(test::readFile(simLog)), before) << test::readFile(simLog);
    quit(program);
}

TEST_F(DesktopLiveTest, AProviderFaultShowsTheLastGoodDataWithTheErrorText) {
    configure({"--fault", "error@3"}); // 1: verification, 2: the poll above, 3: the program's
    Tconfiguration c;
    const std::string hint = test::readFile(c.trayHintFile);
    std::filesystem::remove(c.statusFile); // so the program polls at once
    test::SimProcess program(VANTLE_PROGRAM, {});
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!std::filesystem::exists(c.statusFile) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(std::filesystem::exists(c.statusFile)) << program.errors();
    EXPECT_THAT(test::readFile(c.statusFile),
                testing::StartsWith("{\"error\":\"Service temporarily unavailable\""));
    EXPECT_EQ(test::readFile(c.trayHintFile), hint);
    EXPECT_TRUE(iconInTray());
    quit(program);
}

TEST_F(DesktopLiveTest, ASecondStartSaysSoAndTheMenuOpensTheDialog) {
    configure();
    test::SimProcess program(VANTLE_PROGRAM, {});
    const auto icon = iconInTray();
    ASSERT_TRUE(icon) << program.errors();

    test::SimProcess second(VANTLE_PROGRAM, {});
    const std::string box = test::windowNamed("vantle - Error");
    ASSERT_FALSE(box.empty()) << second.errors();
    ASSERT_EQ(test::xdotool({"windowfocus", "--sync", box}), 0);
    ASSERT_EQ(test::xdotool({"key", "Return"}), 0);
    EXPECT_EQ(second.wait(10s), 1);

    // Right-click: the menu; About, Open, Configure by keyboard.
    const QPoint at = *icon + QPoint(1, 1);
    ASSERT_EQ(test::xdotool({"mousemove", "--sync", std::to_string(at.x()), std::to_string(at.y()),
                             "click", "3"}),
              0);
    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(test::xdotool({"key", "Down", "Down", "Down", "Return"}), 0);
    const std::string dialog = test::windowNamed("vantle - Configuration");
    EXPECT_FALSE(dialog.empty()) << program.errors();
    if (!dialog.empty()) {
        test::xdotool({"windowfocus", "--sync", dialog});
        test::xdotool({"key", "Escape"});
    }
    quit(program);
}
