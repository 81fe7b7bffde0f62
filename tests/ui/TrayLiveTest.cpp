// The tray icon in a real notification area: an X server of its own (Xvfb) with an XEmbed tray
// (trayer), a program showing a green icon through the component, a screenshot of the screen
// and a click sent with xdotool.
#include "support/SimProcess.h"
#include "support/TestSupport.h"

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

constexpr int ScreenWidth = 320;
constexpr int ScreenHeight = 240;
constexpr int TrayWidth = 100;
constexpr int TrayHeight = 24;
const QColor IconGreen(0, 128, 0);

// The program's full path from PATH; empty when it is not installed.
std::string programPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = folder + "/" + name;
        if (!folder.empty() && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::uint32_t bigEndian32(const std::string& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

// The picture of an X window dump: a header of 32-bit big-endian fields, the window name, the
// colour map entries of 12 bytes each, then the rows of a ZPixmap image. Null when the dump is
// not a true-colour ZPixmap of 24 or 32 bits per pixel.
QImage readXwd(const std::string& bytes) {
    if (bytes.size() < 100)
        return {};
    const auto field = [&](int index) { return bigEndian32(bytes, 4 * std::size_t(index)); };
    const std::uint32_t headerSize = field(0), format = field(2), width = field(4),
                        height = field(5), byteOrder = field(7), bitsPerPixel = field(11),
                        bytesPerLine = field(12), redMask = field(14), greenMask = field(15),
                        blueMask = field(16), colours = field(19);
    if (format != 2 || (bitsPerPixel != 24 && bitsPerPixel != 32) || !redMask || !greenMask ||
        !blueMask || width > 10000 || height > 10000)
        return {};
    const std::size_t start = headerSize + std::size_t(colours) * 12;
    if (bytes.size() < start + std::size_t(bytesPerLine) * height)
        return {};
    const std::size_t pixelBytes = bitsPerPixel / 8;
    const auto channel = [](std::uint32_t pixel, std::uint32_t mask) {
        const std::uint32_t value = (pixel & mask) >> std::countr_zero(mask);
        const std::uint32_t top = mask >> std::countr_zero(mask);
        return static_cast<int>(value * 255 / top);
    };
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::size_t at = start + std::size_t(y) * bytesPerLine + x * pixelBytes;
            std::uint32_t pixel = 0;
            for (std::size_t i = 0; i < pixelBytes; ++i) {
                const auto byte = static_cast<unsigned char>(bytes[at + i]);
                pixel =
                    byteOrder == 0 ? pixel | std::uint32_t(byte) << (8 * i) : (pixel << 8) | byte;
            }
            image.setPixelColor(static_cast<int>(x), static_cast<int>(y),
                                QColor(channel(pixel, redMask), channel(pixel, greenMask),
                                       channel(pixel, blueMask)));
        }
    }
    return image;
}

std::optional<QPoint> findColour(const QImage& image, const QColor& colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return QPoint(x, y);
    return std::nullopt;
}

// Runs a short X client to its end; its exit status.
int run(const std::string& program, const std::vector<std::string>& arguments) {
    SimProcess process(program, arguments);
    return process.wait(5000ms);
}

TEST(TrayLiveTest, TheIconShowsInARealTrayAndAClickReachesOnClick) {
    const std::string xvfb = programPath("Xvfb");
    if (xvfb.empty())
        GTEST_SKIP() << "Xvfb is not installed";
    const std::string size =
        std::to_string(ScreenWidth) + "x" + std::to_string(ScreenHeight) + "x24";
    SimProcess server(xvfb, {"-displayfd", "1", "-screen", "0", size, "-nolisten", "tcp"});
    const std::string number = server.nextLine();
    if (number.empty())
        GTEST_SKIP() << "Xvfb did not start: " << server.errors();
    const std::string display = ":" + number;

    const std::string trayer = programPath("trayer");
    const std::string xwd = programPath("xwd");
    const std::string xdotool = programPath("xdotool");
    ASSERT_FALSE(trayer.empty() || xwd.empty() || xdotool.empty())
        << "trayer, xwd and xdotool are needed";

    test::ScopedEnv displayEnv("DISPLAY", display);
    // No session bus: the icon must take the XEmbed road into trayer.
    test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vantle-test");
    test::ScopedEnv platform("QT_QPA_PLATFORM", "xcb");
    SimProcess tray(trayer, {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                             std::to_string(TrayWidth), "--height", std::to_string(TrayHeight),
                             "--transparent", "false", "--tint", "0xffffff"});
    SimProcess helper(VANTLE_TRAY_LIVE_HELPER, {});
    const std::string ready = helper.nextLine();
    ASSERT_EQ(ready.rfind("ready", 0), 0u) << ready << helper.errors();

    // Qt docks the icon once the tray has taken the selection; look until it is painted.
    test::TempDir dir;
    const std::string dump = dir.file("screen.xwd");
    const QRect trayArea(ScreenWidth - TrayWidth, 0, TrayWidth, TrayHeight);
    std::optional<QPoint> green;
    QImage screen;
    const auto deadline = std::chrono::steady_clock::now() + 8s;
    while (!green && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(run(xwd, {"-root", "-silent", "-display", display, "-out", dump}), 0);
        screen = readXwd(test::readFile(dump));
        ASSERT_FALSE(screen.isNull()) << "unreadable window dump";
        green = findColour(screen, IconGreen);
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
