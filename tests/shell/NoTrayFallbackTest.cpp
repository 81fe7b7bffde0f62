// A desktop without a notification area, in-process: the status window and the notice once, the
// entry that lets a second start bring the window forward, and that entry gone once an area
// takes the icon.
#include "shell/noTrayFallback.h"

#include "shell/SingleInstance.h"
#include "support/TestSupport.h"
#include "ui/desktopNotifier.h"
#include "ui/recordingTrayBackend.h"
#include "ui/sysTray.h"

#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

using namespace vantle;
using namespace std::chrono_literals;

namespace {

// Runs the event loop until the condition holds, or for the whole time when it never does.
bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds time) {
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > time.count())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void runFor(std::chrono::milliseconds time) {
    runUntil([] { return false; }, time);
}

TEST(NoTrayFallbackTest, WithoutAnAreaTheWindowOpensOnceAndASecondStartFindsIt) {
    test::ScopedUserFolders home;
    test::TrecordingTrayBackend::Settings area;
    area.hosted = false;
    std::vector<test::TrecordingTrayBackend::Request> requests;
    TzintraSysTray tray(std::make_unique<test::TrecordingTrayBackend>(area, requests));
    QWidget status;
    TdesktopNotifier notifier(QDBusConnection(QStringLiteral("none")), nullptr);
    int opened = 0;
    TnoTrayFallback fallback(
        tray, status, notifier, [&] { ++opened; }, 50ms, 50ms);
    fallback.start();

    ASSERT_TRUE(runUntil([&] { return opened > 0; }, 10s));
    runFor(300ms); // more checks
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(fallback.trayless());
    EXPECT_EQ(SingleInstance::query(TraylessInstanceName).processId,
              static_cast<std::uint32_t>(::getpid()));
    EXPECT_TRUE(openTraylessInstance());
    EXPECT_TRUE(status.isVisible());

    // An area that comes later takes the icon: a second start is told the program runs.
    area.hosted = true;
    EXPECT_TRUE(runUntil([&] { return !fallback.trayless(); }, 10s));
    EXPECT_EQ(SingleInstance::query(TraylessInstanceName).processId, 0u);
    EXPECT_FALSE(openTraylessInstance());
    EXPECT_EQ(opened, 1);
}

TEST(NoTrayFallbackTest, WithAnAreaNothingHappens) {
    test::ScopedUserFolders home;
    test::TrecordingTrayBackend::Settings area;
    std::vector<test::TrecordingTrayBackend::Request> requests;
    TzintraSysTray tray(std::make_unique<test::TrecordingTrayBackend>(area, requests));
    QWidget status;
    TdesktopNotifier notifier(QDBusConnection(QStringLiteral("none")), nullptr);
    int opened = 0;
    TnoTrayFallback fallback(
        tray, status, notifier, [&] { ++opened; }, 50ms, 50ms);
    fallback.start();
    runFor(200ms);
    EXPECT_EQ(opened, 0);
    EXPECT_FALSE(status.isVisible());
    EXPECT_FALSE(openTraylessInstance());
}

} // namespace
