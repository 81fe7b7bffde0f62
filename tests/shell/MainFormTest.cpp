// The tray window's start-up and poll scheduling, in-process on the offscreen platform.
#include "shell/main_form.h"

#include "config/configuration.h"
#include "lib/runtime/DateTime.h"
#include "shell/SingleInstance.h"
#include "shell/statusWindowHelper.h"
#include "shell/statusWindowLink.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "ui/about_form.h"
#include "ui/config_form.h"
#include "ui/sysTray.h"
#include "usage/providers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <utility>

using namespace vantle;
using testing::HasSubstr;

namespace {

constexpr TDateTime Minute = 1.0 / 1440.0;

class MainFormTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    TDateTime now = runtime::encodeDateTime({2026, 12, 10, 12, 0, 0, 0});
    test::ScopedClock clock{now};
    // A complete account on a domain no provider serves: a poll that runs fails at once.
    bool stored = [] {
        Tconfiguration c;
        c.username = "john";
        c.domain = "example.invalid";
        c.password = "pw";
        c.save();
        return true;
    }();
    TmainFrm form;

    MainFormTest() { mainFrm = &form; }
    ~MainFormTest() override {
        mainFrm = nullptr;
        // Now, while the runtime folder is the test's: at exit it would be the real one.
        SingleInstance::clearWrittenEntries();
    }

    // Whether the tick started a poll. The poll is left to end before the next case: the worker
    // still notes its outcome after its failure's line, and a tick skips while one runs.
    bool polled(const test::DebugCapture& debug) {
        const bool started = sawPoll(debug);
        EXPECT_TRUE(form.endPolls(10000));
        return started;
    }

    bool sawPoll(const test::DebugCapture& debug) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 1000) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            const auto lines = debug.lines();
            if (std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
                    return l.rfind("Unsupported domain", 0) == 0;
                }))
                return true;
        }
        return false;
    }
};

} // namespace

TEST_F(MainFormTest, StartUpShowsTheDefaultIconAndDueTheFirstPollIn100ms) {
    form.startUp();
    EXPECT_TRUE(form.tray().Active());
    EXPECT_EQ(form.tray().Hint(), "vantle");
    EXPECT_TRUE(form.pollTimer.isActive());
    EXPECT_EQ(form.pollTimer.interval(), 100);
    EXPECT_EQ(form.pollTimerTag, 30 * 60 * 1000);
    EXPECT_EQ(form.trayMenu.defaultAction(), form.Open1);
    QStringList captions;
    for (QAction* action : form.trayMenu.actions())
        captions << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(captions, (QStringList{"About vantle", "-", "Open", "Configure", "-", "Exit"}));
}

TEST_F(MainFormTest, ReloadTrayTakesTheHintFile) {
    form.startUp();
    test::writeFile(form.configuration()->trayHintFile, "Peak: 45% (11,250 / 25,000)");
    form.reloadTray();
    EXPECT_EQ(form.tray().Hint(), "Peak: 45% (11,250 / 25,000)");
}

TEST_F(MainFormTest, TheTwentyMinuteRuleHoldsOnlyWithAStatusDocument) {
    struct Case {
        const char* label;
        bool statusDocument;
        double minutesAgo;
        bool polls;
    };
    const Case cases[] = {
        {"5 minutes old", true, 5, false},      {"19.9 minutes old", true, 19.9, false},
        {"20 minutes old", true, 20, true},     {"25 minutes old", true, 25, true},
        {"5 minutes ahead", true, -5, false},   {"25 minutes ahead", true, -25, true},
        {"no status document", false, 1, true},
    };
    form.startUp();
    Tconfiguration& c = *form.configuration();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.label);
        if (k.statusDocument)
            test::writeFile(c.statusFile, "{}");
        else
            std::remove(c.statusFile.c_str());
        c.setUpdateTime(now - k.minutesAgo * Minute);
        // The file time has two-second steps; the clock follows the time actually stored.
        test::ScopedClock at(c.updateTime() + k.minutesAgo * Minute);
        test::DebugCapture debug;
        form.pollTimerTimer();
        EXPECT_EQ(polled(debug), k.polls);
        // Re-armed for one poll interval, whether it polled or not.
        EXPECT_TRUE(form.pollTimer.isActive());
        EXPECT_EQ(form.pollTimer.interval(), form.pollTimerTag);
    }
}

// An update exactly 20 minutes old is due at whatever time of day it happened, midnight
// crossed included; one 2 seconds younger (the file time's step) is not. Both times are read
// off the clock as day counts, whose difference is rarely 20 minutes to the last bit.
TEST_F(MainFormTest, TheTwentyMinuteRuleHoldsAtExactlyTwentyMinutesAtAnyTimeOfDay) {
    const char* const times[] = {"00:00:00", "00:00:04", "03:00:04", "06:00:04",
                                 "09:41:06", "12:00:04", "13:37:42", "18:00:04",
                                 "21:00:04", "23:45:04", "23:59:58"};
    // Seconds from 2026-12-10 00:00:00, as the clock reads them.
    auto at = [](int seconds) {
        return runtime::encodeDateTime({2026, 12, 10 + seconds / 86400, seconds / 3600 % 24,
                                        seconds / 60 % 60, seconds % 60, 0});
    };
    form.startUp();
    Tconfiguration& c = *form.configuration();
    test::writeFile(c.statusFile, "{}");
    for (const char* time : times) {
        SCOPED_TRACE(time);
        const int updated = (std::atoi(time) * 60 + std::atoi(time + 3)) * 60 + std::atoi(time + 6);
        c.setUpdateTime(at(updated));
        ASSERT_EQ(c.updateTime(), at(updated));
        for (const auto& [age, polls] : {std::pair{1200, true}, std::pair{1198, false}}) {
            const test::ScopedClock reading(at(updated + age));
            test::DebugCapture debug;
            form.pollTimerTimer();
            EXPECT_EQ(polled(debug), polls) << age << " seconds old";
        }
    }
}

// The poll timer does not count a suspend; the minute's wall-clock check finds the poll
// overdue and runs it, and the next comes one interval after that.
TEST_F(MainFormTest, APollOverdueAfterASuspendRunsWithinAMinute) {
    form.startUp();
    EXPECT_TRUE(form.wakeTimer.isActive());
    EXPECT_EQ(form.wakeTimer.interval(), 60000);
    {
        test::DebugCapture debug;
        form.pollTimerTimer();
        EXPECT_TRUE(polled(debug));
    }
    for (const auto& [later, polls] : {std::pair{29 * Minute, false}, std::pair{31 * Minute, true},
                                       std::pair{31 * Minute, false}}) {
        SCOPED_TRACE(later / Minute);
        const test::ScopedClock woke(now + later);
        test::DebugCapture debug;
        form.wakeTimerTimer();
        EXPECT_EQ(polled(debug), polls);
        EXPECT_EQ(form.pollTimer.interval(), form.pollTimerTag);
    }
}

// A poll still waiting for the provider is not joined by a second one at the next ticks; once it
// has ended, a tick polls again.
TEST_F(MainFormTest, ATickWhileAPollRunsStartsNoSecondOne) {
    test::TempDir logs;
    const std::string log = logs.file("requests.log");
    auto sim = std::make_unique<test::RunningSim>(
        VANTLE_SIM, std::vector<std::string>{"--static", "--fault", "stall@1", "--log", log});
    const auto requests = [&log] {
        const std::string text = test::readFile(log);
        return std::count(text.begin(), text.end(), '\n');
    };
    const auto waitUntil = [](const std::function<bool()>& done) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        return done();
    };
    form.startUp();
    Tconfiguration& c = *form.configuration();
    c.domain = std::string(IinetDomain);
    c.providers[c.domain] = sim->urlTemplate;
    test::DebugCapture debug;

    form.pollTimerTimer();
    ASSERT_TRUE(waitUntil([&] { return requests() == 1; }));
    form.pollTimerTimer();
    form.pollTimerTimer();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(requests(), 1);
    EXPECT_THAT(debug.lines(), testing::Each(HasSubstr("still running")));
    EXPECT_EQ(debug.lines().size(), 2u);

    // The stand-in goes away: the held poll fails, reports back and frees itself.
    sim.reset();
    ASSERT_TRUE(waitUntil([&] { return debug.lines().size() == 3; }));
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    sim = std::make_unique<test::RunningSim>(VANTLE_SIM, std::vector<std::string>{"--static"});
    // The finished cycle reloaded the settings, which know only the fixture's account.
    c.username = "demo";
    c.password = "demo";
    c.domain = std::string(IinetDomain);
    c.providers[c.domain] = sim->urlTemplate;
    form.pollTimerTimer();
    EXPECT_TRUE(waitUntil([&] { return form.tray().Hint() != "vantle"; }))
        << testing::PrintToString(debug.lines());
}

TEST_F(MainFormTest, AFinishedCycleReloadsTheTrayAndArmsTheTrim) {
    form.startUp();
    test::writeFile(form.configuration()->trayHintFile, "Off Peak: 3% (1 / 35)");
    QApplication::postEvent(&form, new QEvent(static_cast<QEvent::Type>(WM_POLLDONE)));
    QApplication::processEvents();
    EXPECT_EQ(form.tray().Hint(), "Off Peak: 3% (1 / 35)");
    EXPECT_TRUE(form.trimTimer.isActive());
    EXPECT_EQ(form.trimTimer.interval(), 5000);
    form.trimTimerTimer();
    EXPECT_FALSE(form.trimTimer.isActive());
}

TEST_F(MainFormTest, ExitRemovesTheIcon) {
    form.startUp();
    form.Exit1Click();
    EXPECT_FALSE(form.tray().Active());
}

TEST_F(MainFormTest, ClosingTheMenuRestartsTheTrimCountdown) {
    form.startUp();
    EXPECT_FALSE(form.trimTimer.isActive());
    form.trayMenu.popup(QPoint(10, 10));
    QApplication::processEvents();
    form.trayMenu.hide();
    QApplication::processEvents();
    EXPECT_TRUE(form.trimTimer.isActive());
    EXPECT_GT(form.trimTimer.remainingTime(), 4000);
}

TEST_F(MainFormTest, ALeftClickOpensTheStatusWindowARightClickDoesNot) {
    form.statusWindow().setProgram(VANTLE_PROGRAM);
    form.startUp();
    form.tray().OnClick(form.tray(), TMouseButton::mbRight, {}, 0, 0);
    QApplication::processEvents();
    EXPECT_EQ(form.statusWindow().helperProcessId(), 0);
    form.tray().OnClick(form.tray(), TMouseButton::mbLeft, {}, 0, 0);
    // The status window's helper comes up and answers on its socket.
    QElapsedTimer waited;
    waited.start();
    bool answered = false;
    while (!answered && waited.elapsed() < 30000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        answered = form.statusWindow().helperProcessId() != 0 && showRunningStatusWindow();
    }
    EXPECT_TRUE(answered);
}

TEST_F(MainFormTest, AboutTwiceBringsTheFirstWindowToTheFront) {
    form.startUp();
    form.Aboutvantle1Click();
    const QPointer<TaboutFrm> first = form.aboutFrm();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    form.Aboutvantle1Click();
    EXPECT_EQ(form.aboutFrm(), first);
    int windows = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        windows += qobject_cast<TaboutFrm*>(w) != nullptr && w->isVisible();
    EXPECT_EQ(windows, 1);

    first->close(); // clears its entry and frees itself
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(SingleInstance::query(AboutInstanceName), (TinstanceEntry{0, 0}));
    form.Aboutvantle1Click();
    EXPECT_NE(form.aboutFrm(), nullptr);
    form.aboutFrm()->close();
}

TEST(MainFormStartUp, WithoutAnAccountTheDialogAsksAndCancelEndsWithoutAnIcon) {
    test::ScopedUserFolders home;
    TmainFrm form;
    bool asked = false;
    QTimer::singleShot(0, [&asked] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "configFrm" && w->isVisible()) {
                asked = true;
                qobject_cast<QDialog*>(w)->reject();
            }
    });
    form.startUp();
    EXPECT_TRUE(asked);
    EXPECT_FALSE(form.tray().Active());
    EXPECT_FALSE(form.pollTimer.isActive());
    EXPECT_EQ(statusFrm, nullptr);
}
