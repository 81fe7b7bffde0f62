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

// Xvfb on a free display with trayer along the top right edge; DISPLAY points at it for the
// scope, and Qt programs take the XEmbed road (no session bus).
class XSession {
public:
    static constexpr int ScreenWidth = 800;
    static constexpr int ScreenHeight = 600;
    static constexpr int TrayWidth = 100;
    static constexpr int TrayHeight = 24;

    // Check started() before use: false when Xvfb or the tools are missing (why() says).
    XSession();
    bool started() const { return started_; }
    const std::string& why() const { return why_; }
    const std::string& display() const { return display_; }

    // The whole screen as it is now; null on failure.
    QImage screenshot() const;
    // Waits up to ten seconds for a pixel of that colour on the screen.
    std::optional<QPoint> waitForColour(const QColor& colour) const;

private:
    std::unique_ptr<SimProcess> server_;
    std::unique_ptr<SimProcess> tray_;
    std::unique_ptr<ScopedEnv> displayEnv_;
    std::unique_ptr<ScopedEnv> busEnv_;
    std::unique_ptr<ScopedEnv> platformEnv_;
    TempDir dir_;
    std::string display_;
    std::string why_;
    bool started_ = false;
};

} // namespace vantle::test
