// The tray icon in a real notification area: an X server of its own (Xvfb) with an XEmbed tray
// (trayer), a program showing a green icon through the component, a screenshot of the screen
// and a click sent with xdotool.
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "support/XSession.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vantle {
namespace {

using namespace std::chrono_literals;
using test::SimProcess;

const QColor IconGreen(0, 128, 0);

// Runs a short X client to its end; its exit status.
int run(const std::string& program, const std::vector<std::string>& arguments) {
    SimProcess process(program, arguments);
    return process.wait(5000ms);
}

TEST(TrayLiveTest, TheIconShowsInARealTrayAndAClickReachesOnClick) {
    test::XSession x;
    if (!x.started())
        GTEST_SKIP() << x.why();
    using test::XSession;
    const std::string xdotool = test::programPath("xdotool");
    SimProcess helper(VANTLE_TRAY_LIVE_HELPER, {});
    const std::string ready = helper.nextLine();
    ASSERT_EQ(ready.rfind("ready", 0), 0u) << ready << helper.errors();

    // Qt docks the icon once the tray has taken the selection; look until it is painted.
    const QRect trayArea(XSession::ScreenWidth - XSession::TrayWidth, 0, XSession::TrayWidth,
                         XSession::TrayHeight);
    std::optional<QPoint> green;
    const auto deadline = std::chrono::steady_clock::now() + 8s;
    while (!green && std::chrono::steady_clock::now() < deadline) {
        const QImage screen = x.screenshot();
        ASSERT_FALSE(screen.isNull()) << "unreadable window dump";
        green = test::findColour(screen, IconGreen);
        if (!green)
            std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(green) << "no icon green on the screen; " << ready << "; " << helper.errors();
    EXPECT_TRUE(trayArea.contains(*green))
        << "green at " << green->x() << "," << green->y() << ", outside the tray";

    // Click a little inside the icon's top left corner.
    const QPoint at = *green + QPoint(2, 2);
    ASSERT_EQ(run(xdotool, {"mousemove", "--sync", std::to_string(at.x()), std::to_string(at.y()),
                            "click", "1"}),
              0);
    const std::string clicked = helper.nextLine();
    EXPECT_EQ(clicked, "OnClick left " + std::to_string(at.x()) + " " + std::to_string(at.y()))
        << helper.errors();
}

} // namespace
} // namespace vantle
