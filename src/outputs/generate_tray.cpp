// The tray icon is drawn without antialiasing on a keyed bitmap and written as an icon file; the
// hint is plain text.
#include "outputs/generate_tray.h"

#include "config/configuration.h"
#include "lib/runtime/Numbers.h"
#include "lib/utils/FileUtils.h"
#include "outputs/gfx.h"
#include "outputs/textHelpers.h"
#include "usage/iinet.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace vantle {
namespace {

const QColor Disc(255, 255, 255);
const QColor Outline(0, 0, 0);
const QColor Used(0, 128, 0);

// The low 32 bits, as the megabyte texts take them.
std::int32_t low32(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

} // namespace

void generateTray(const Tconfiguration& configuration, const Tiinet& usage) {
    generateTray(usage, configuration.trayIconFile, configuration.trayHintFile);
}

void generateTray(const Tiinet& usage, const std::string& iconFile, const std::string& hintFile) {
    writeTrayIcon(usage, iconFile);
    writeTrayHint(usage, hintFile);
}

void writeTrayIcon(const Tconfiguration& configuration, const Tiinet& usage) {
    writeTrayIcon(usage, configuration.trayIconFile);
}

void writeTrayIcon(const Tiinet& usage, const std::string& iconFile) {
    QImage surface(TrayIconSize, TrayIconSize, QImage::Format_RGB32);
    const Ttraffic current = usage.currentTraffic();
    {
        QPainter canvas(&surface);
        drawTrayPie(canvas, TrayKeyColor, current.usedPercent);
    }
    const Ticon icon = bitmapToIcon(surface, TrayKeyColor, surface.width(), false);
    WriteFileText(icon.fileBytes(), iconFile);
}

void writeTrayHint(const Tconfiguration& configuration, const Tiinet& usage) {
    writeTrayHint(usage, configuration.trayHintFile);
}

void writeTrayHint(const Tiinet& usage, const std::string& hintFile) {
    WriteFileText(trayHintText(usage.currentTraffic()), hintFile);
}

std::string trayHintText(const Ttraffic& current) {
    return current.name + ": " + runtime::formatNumber0(current.usedPercent) + "% (" +
           formatMB(low32(current.usedMB)) + " / " + formatMB(low32(current.quotaMB)) + ")";
}

void drawTrayPie(QPainter& canvas, QRgb key, double percent) {
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.fillRect(0, 0, TrayIconSize, TrayIconSize, QColor(key));

    const QPen ring(Outline, 1);
    canvas.setPen(ring);
    canvas.setBrush(Disc);
    drawEllipse(canvas, 0, 0, 15, 15);
    // Under one percent (and without a quota, -1) the disc stays empty.
    if (!(percent >= 1.0))
        return;
    // An account over its quota is full, not wrapped round to look half used.
    percent = std::min(percent, 100.0);

    // The start point lies on a circle of radius 32 around (7, 7); only its direction counts,
    // and these exact numbers decide the wedge's edge pixels.
    constexpr long double pi = std::numbers::pi_v<long double>;
    const auto theta =
        static_cast<double>(static_cast<long double>(percent) * 2 * pi / 100 + 3 * pi / 2);
    const QPointF start(static_cast<double>(runtime::roundHalfEven(std::cos(theta) * 32) + 7),
                        static_cast<double>(runtime::roundHalfEven(std::sin(theta) * 32) + 7));
    canvas.setPen(Qt::NoPen);
    canvas.setBrush(Used);
    drawPie(canvas, 0, 0, 16, 16, start, QPointF(8, 0));

    canvas.setPen(ring);
    canvas.setBrush(Qt::NoBrush);
    drawEllipse(canvas, 0, 0, 15, 15);
}

} // namespace vantle
