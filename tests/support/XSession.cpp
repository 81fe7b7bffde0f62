#include "support/XSession.h"

#include <bit>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace vantle::test {

using namespace std::chrono_literals;

namespace {

std::uint32_t bigEndian32(const std::string& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

} // namespace

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

XSession::XSession()
    : XSession(Options{}) {}

XSession::XSession(Options options) {
    const std::string xvfb = programPath("Xvfb");
    const bool panel = options.tray == Tray::panel;
    const bool bus = options.sessionBus || panel;
    if (xvfb.empty() || programPath("xwd").empty() || programPath("xdotool").empty() ||
        (options.tray == Tray::xembed && programPath("trayer").empty()) ||
        (panel && programPath("xfce4-panel").empty()) ||
        (bus && programPath("dbus-daemon").empty()) ||
        (options.windowManager && programPath("openbox").empty())) {
        why_ = "Xvfb, xwd, xdotool and the session's tray, bus and window manager are needed";
        return;
    }
    const std::string size =
        std::to_string(ScreenWidth) + "x" + std::to_string(ScreenHeight) + "x24";
    server_ = std::make_unique<SimProcess>(
        xvfb, std::vector<std::string>{"-displayfd", "1", "-screen", "0", size, "-nolisten", "tcp",
                                       "-fbdir", dir_.path()});
    const std::string number = server_->nextLine();
    if (number.empty()) {
        why_ = "Xvfb did not start: " + server_->errors();
        return;
    }
    display_ = ":" + number;
    displayEnv_ = std::make_unique<ScopedEnv>("DISPLAY", display_);
    platformEnv_ = std::make_unique<ScopedEnv>("QT_QPA_PLATFORM", "xcb");
    // The desktop's own programs keep their settings and caches here, never in the real home.
    const ScopedEnv home("HOME", dir_.file("home/"));
    if (bus) {
        bus_ = std::make_unique<SimProcess>(
            programPath("dbus-daemon"),
            std::vector<std::string>{"--session", "--nofork", "--print-address=1"});
        busAddress_ = bus_->nextLine();
        if (busAddress_.empty()) {
            why_ = "dbus-daemon did not start: " + bus_->errors();
            return;
        }
    }
    busEnv_ = std::make_unique<ScopedEnv>("DBUS_SESSION_BUS_ADDRESS",
                                          bus ? busAddress_ : "unix:path=/nonexistent/vantle-test");
    if (options.windowManager) {
        windowManager_ = std::make_unique<SimProcess>(programPath("openbox"),
                                                      std::vector<std::string>{"--sm-disable"});
        // Managing starts once it owns the screen's window manager selection.
        for (int i = 0; i < 100 && windowProperty("-root", "_NET_SUPPORTING_WM_CHECK").empty(); ++i)
            std::this_thread::sleep_for(50ms);
    }
    if (options.tray == Tray::xembed)
        tray_ = std::make_unique<SimProcess>(
            programPath("trayer"),
            std::vector<std::string>{"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                     "--width", std::to_string(TrayWidth), "--height",
                                     std::to_string(TrayHeight), "--transparent", "false", "--tint",
                                     "0xffffff"});
    started_ = true;
    if (panel && options.startPanel && !startPanel()) {
        why_ = "xfce4-panel did not take the StatusNotifierWatcher name";
        started_ = false;
    }
}

XSession::~XSession() {
    stopPanel();
    tray_.reset();
    windowManager_.reset();
    // Programs the bus started for the panel end with the bus.
    bus_.reset();
    server_.reset();
}

bool XSession::startPanel() {
    if (bus_ == nullptr)
        return false;
    stopPanel();
    {
        const ScopedEnv home("HOME", dir_.file("home/"));
        panel_ = std::make_unique<SimProcess>(programPath("xfce4-panel"),
                                              std::vector<std::string>{"--disable-wm-check"});
    }
    for (int i = 0; i < 300; ++i) {
        SimProcess owner(programPath("dbus-send"),
                         {"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                          "org.freedesktop.DBus.NameHasOwner",
                          "string:org.kde.StatusNotifierWatcher"});
        const std::string header = owner.nextLine();
        const std::string answer = owner.nextLine();
        owner.wait(5s);
        if (answer.find("true") != std::string::npos)
            return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

void XSession::stopPanel() {
    if (panel_ == nullptr)
        return;
    panel_->signal(SIGTERM);
    panel_->wait(5s);
    panel_.reset();
}

QImage XSession::screenshot() const {
    // The server's own frame buffer, which it keeps as a window dump: what a person would see.
    // Xvfb's answer to a GetImage of the root (xwd -root) leaves a window black where it
    // overlaps another window of the same Qt program.
    return readXwd(readFile(dir_.path() + "Xvfb_screen0"));
}

} // namespace vantle::test

namespace vantle::test {

std::optional<QPoint> XSession::waitForColour(const QColor& colour) const {
    for (int i = 0; i < 100; ++i) {
        if (const auto found = findColour(screenshot(), colour))
            return found;
        std::this_thread::sleep_for(100ms);
    }
    return std::nullopt;
}

int xdotool(const std::vector<std::string>& arguments) {
    SimProcess run(programPath("xdotool"), arguments);
    return run.wait(10s);
}

std::string windowProperty(const std::string& window, const std::string& property) {
    SimProcess xprop(programPath("xprop"), window == "-root"
                                               ? std::vector<std::string>{"-root", property}
                                               : std::vector<std::string>{"-id", window, property});
    const std::string line = xprop.nextLine();
    xprop.wait(5s);
    // "NAME(TYPE) = value", "NAME(WINDOW): window id # 0x..." or "NAME:  not found."
    const std::size_t type = line.find(')');
    if (type == std::string::npos || type + 3 > line.size())
        return {};
    return line.substr(type + (line.compare(type, 4, ") = ") == 0 ? 4 : 3));
}

std::vector<std::string> stackingOrder() {
    std::vector<std::string> ids;
    std::stringstream list(windowProperty("-root", "_NET_CLIENT_LIST_STACKING"));
    std::string word;
    while (std::getline(list, word, ',')) {
        word.erase(0, word.find_first_not_of(" \t"));
        // xprop prints "window id # 0x400007"; keep the number in decimal, as xdotool does.
        const std::size_t hex = word.find("0x");
        if (hex != std::string::npos)
            ids.push_back(std::to_string(std::stoul(word.substr(hex), nullptr, 16)));
    }
    return ids;
}

std::string windowNamed(const std::string& title) {
    for (int i = 0; i < 100; ++i) {
        SimProcess search(programPath("xdotool"), {"search", "--name", "^" + title + "$"});
        const std::string id = search.nextLine();
        search.wait(5s);
        if (!id.empty())
            return id;
        std::this_thread::sleep_for(100ms);
    }
    return {};
}

} // namespace vantle::test
