// An X server of its own (Xvfb) with an XEmbed tray (trayer) for tests of the real tray icon,
// and reading its screen.
#pragma once

#include "support/SimProcess.h"

#include <QColor>
#include <QImage>
#include <QPoint>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantle::test {

// The program's full path from PATH; empty when it is not installed.
std::string programPath(const std::string& name);

// The picture of an X window dump (xwd's format); null when it is not a true-colour ZPixmap of
// 24 or 32 bits per pixel.
QImage readXwd(const std::string& bytes);

std::optional<QPoint> findColour(const QImage& image, const QColor& colour);

// Runs xdotool with the arguments on the current DISPLAY; its exit status.
int xdotool(const std::vector<std::string>& arguments);
// The id of a window with exactly that title, waited for up to ten seconds; empty when none.
std::string windowNamed(const std::string& title);

// Xvfb on a free display with a tray along the top right edge; DISPLAY points at it for the
// scope. By default the tray is trayer (XEmbed) and Qt programs take the XEmbed road (no session
// bus); options give the session a bus of its own, a StatusNotifierItem host (xfce4-panel, which
// also docks XEmbed icons), no tray at all, or a window manager (openbox).
class XSession {
public:
    static constexpr int ScreenWidth = 800;
    static constexpr int ScreenHeight = 600;
    static constexpr int TrayWidth = 100;
    static constexpr int TrayHeight = 24;

    enum class Tray { none, xembed, panel };
    struct Options {
        Tray tray = Tray::xembed;
        bool sessionBus = false; // implied by Tray::panel
        bool windowManager = false;
        bool startPanel = true; // false: the panel comes later, with startPanel()
    };

    // Check started() before use: false when Xvfb or the tools are missing (why() says).
    XSession();
    explicit XSession(Options options);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool started() const { return started_; }
    const std::string& why() const { return why_; }
    const std::string& display() const { return display_; }
    // The session bus's address; empty without one.
    const std::string& busAddress() const { return busAddress_; }

    // Starts the panel (a host that comes late, or again); false when it did not come up.
    bool startPanel();
    // Ends the panel, as a crash or a restart of the desktop would.
    void stopPanel();

    // The whole screen as it is now; null on failure.
    QImage screenshot() const;
    // Waits up to ten seconds for a pixel of that colour on the screen.
    std::optional<QPoint> waitForColour(const QColor& colour) const;

private:
    std::unique_ptr<SimProcess> server_;
    std::unique_ptr<SimProcess> bus_;
    std::unique_ptr<SimProcess> windowManager_;
    std::unique_ptr<SimProcess> tray_;
    std::unique_ptr<SimProcess> panel_;
    std::unique_ptr<ScopedEnv> displayEnv_;
    std::unique_ptr<ScopedEnv> busEnv_;
    std::unique_ptr<ScopedEnv> platformEnv_;
    TempDir dir_;
    std::string display_;
    std::string busAddress_;
    std::string why_;
    bool started_ = false;
};

// The named X window property of a window as xprop prints it ("" when it is not set).
std::string windowProperty(const std::string& window, const std::string& property);
// The root window's _NET_CLIENT_LIST_STACKING, bottom first, as decimal window ids.
std::vector<std::string> stackingOrder();

} // namespace vantle::test
