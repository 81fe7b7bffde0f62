// The status window in its helper process, on an X server of its own with a tray and a window
// manager: started by Open, reloaded by a finished poll, ended a while after it closes, started
// again after a kill, never twice, and ended with the tray program.
#include "config/configuration.h"
#include "shell/main_form.h"
#include "shell/statusWindowChannel.h"
#include "shell/statusWindowLink.h"
#include "support/EventLoop.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "support/XSession.h"

#include <QApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

using namespace vantle;
using test::waitFor;
using namespace std::chrono_literals;

namespace {

const QColor PieFill(166, 202, 240);

// Runs the event loop until the condition holds; false when the time ran out first.
// The processes of this user's folders started as the status window's helper.
std::vector<pid_t> helpers() {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream file(entry.path() / "cmdline", std::ios::binary);
        const std::string line((std::istreambuf_iterator<char>(file)), {});
        std::ifstream environment(entry.path() / "environ", std::ios::binary);
        const std::string variables((std::istreambuf_iterator<char>(environment)), {});
        if (line.find(std::string(StatusWindowSwitch) + '\0') != std::string::npos &&
            variables.find(std::string("XDG_RUNTIME_DIR=") + std::getenv("XDG_RUNTIME_DIR")) !=
                std::string::npos)
            found.push_back(std::stoi(name));
    }
    return found;
}

bool running(pid_t process) {
    return ::kill(process, 0) == 0 &&
           std::filesystem::exists("/proc/" + std::to_string(process) + "/cmdline") &&
           !test::readFile("/proc/" + std::to_string(process) + "/cmdline").empty();
}

class StatusWindowLiveTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    test::XSession x{{.windowManager = true}};
    std::unique_ptr<test::RunningSim> sim;

    void SetUp() override {
        if (!x.started())
            GTEST_SKIP() << x.why();
        // A configured account with its outputs written once.
        sim = std::make_unique<test::RunningSim>(VANTLE_SIM, std::vector<std::string>{"--static"});
        Tconfiguration c;
        test::writeFile(c.configFile, "<conf><providers><iinet.net.au>" +
                                          test::xmlText(sim->urlTemplate) +
                                          "</iinet.net.au></providers></conf>");
        const test::CommandRun run = test::runCommand(
            std::string("printf 'demo\\n' | ") + VANTLECTL +
            " configure --username demo --domain iinet.net.au 2>&1 && " + VANTLECTL + " poll 2>&1");
        ASSERT_EQ(run.status, 0) << run.output;
    }

    bool piesShown(bool shown = true) const {
        return waitFor(
            [&] { return test::findColour(x.screenshot(), PieFill).has_value() == shown; }, 30s);
    }

    // As a person closes it: Alt+F4 to the window manager.
    static void closeWindow() {
        test::SimProcess search(test::programPath("xdotool"),
                                {"search", "--onlyvisible", "--name", "^vantle$"});
        const std::string window = search.nextLine();
        search.wait();
        ASSERT_FALSE(window.empty());
        ASSERT_EQ(test::xdotool({"windowfocus", "--sync", window}), 0);
        ASSERT_EQ(test::xdotool({"key", "alt+F4"}), 0);
    }
};

} // namespace

TEST_F(StatusWindowLiveTest, OpenStartsOneHelperAPollReloadsItAndItEndsAfterTheGracePeriod) {
    TmainFrm form;
    mainFrm = &form;
    form.statusWindow().setProgram(VANTLE_PROGRAM);
    form.statusWindow().setGrace(2s);
    form.startUp();

    // Two Opens before the first helper is up: one helper.
    form.Open1Click();
    form.Open1Click();
    ASSERT_TRUE(piesShown()) << "no pies on the screen";
    form.Open1Click();
    waitFor([] { return false; }, 500ms);
    EXPECT_EQ(helpers().size(), 1u);

    // A finished poll reloads the open window: a document without metered types has no pies.
    Tconfiguration c;
    std::string document = test::readFile(c.statusFile);
    document.replace(document.find("\"traffic\":["), std::string::npos, "\"traffic\":[]}");
    test::writeFile(c.statusFile, document);
    QCoreApplication::postEvent(&form, new QEvent(static_cast<QEvent::Type>(WM_POLLDONE)));
    EXPECT_TRUE(piesShown(false)) << "the window was not reloaded";

    // Closed, it ends once the grace period is over, and not at once.
    closeWindow();
    waitFor([] { return false; }, 500ms);
    EXPECT_NE(form.statusWindow().helperProcessId(), 0);
    EXPECT_TRUE(waitFor([&] { return form.statusWindow().helperProcessId() == 0; }, 20s));
    EXPECT_TRUE(helpers().empty());
    mainFrm = nullptr;
}

TEST_F(StatusWindowLiveTest, AKilledHelperNeverStopsTheTrayAndQuitEndsBoth) {
    test::SimProcess program(VANTLE_PROGRAM, {});
    const std::optional<QPoint> icon = x.waitForColour(QColor(0, 128, 0));
    ASSERT_TRUE(icon) << program.errors();
    const QPoint at = *icon + QPoint(1, 1);
    // From elsewhere each time: a move to where the pointer is already would wait for ever.
    const auto click = [&] {
        return test::xdotool({"mousemove", "--sync", "0", "300", "mousemove", "--sync",
                              std::to_string(at.x()), std::to_string(at.y()), "click", "1"});
    };

    ASSERT_EQ(click(), 0);
    ASSERT_TRUE(piesShown()) << program.errors();
    std::vector<pid_t> started = helpers();
    ASSERT_EQ(started.size(), 1u);
    ASSERT_EQ(::kill(started[0], SIGKILL), 0);
    ASSERT_TRUE(piesShown(false));

    // The tray still runs and its Open brings a new window.
    ASSERT_EQ(click(), 0);
    ASSERT_TRUE(piesShown()) << program.errors();
    started = helpers();
    ASSERT_EQ(started.size(), 1u);

    test::SimProcess quit(VANTLE_PROGRAM, {"-quit"});
    EXPECT_EQ(quit.wait(10s), 0);
    EXPECT_EQ(program.wait(15s), 0) << program.errors();
    EXPECT_TRUE(waitFor([&] { return !running(started[0]); }, 10s));
}
