// The tray icon is drawn without antialiasing on a keyed bitmap and written as an icon file; the
// hint is plain text.
#include "outputs/generate_tray.h"

#include "config/configuration.h"
#include "lib/runtime/Error.h"
#include "lib/runtime/Numbers.h"
#include "lib/utils/FileUtils.h"
#include "outputs/gfx.h"
#include "outputs/textHelpers.h"
#include "usage/iinet.h"

#include <QImage>
#include <QPainter>
#include <QPen>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace vantle {
namespace {

const QColor Disc(255, 255, 255);
const QColor Outline(0, 0, 0);
const QColor Used(0, 128, 0);

} // namespace

void generateTray(const Tconfiguration& configuration, const Tiinet& usage) {
    generateTray(usage, configuration.trayIconFile, configuration.trayHintFile);
    writeTrayIcons(usage, configuration.trayIconsFile);
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

void writeTrayIcons(const Tconfiguration& configuration, const Tiinet& usage) {
    writeTrayIcons(usage, configuration.trayIconsFile);
}

void writeTrayIcons(const Tiinet& usage, const std::string& iconsFile) {
    const double percent = usage.currentTraffic().usedPercent;
    std::vector<QImage> pictures;
    for (const int size : TrayIconSizes)
        pictures.push_back(drawTrayMeter(size, percent));
    WriteFileText(iconFileBytes(pictures), iconsFile);
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

namespace {

// The 16-pixel geometry scaled: a disc with a ring one sixteenth of the size wide and the wedge
// from twelve o'clock clockwise, kept inside the ring so that smoothing cannot spill it. Drawn
// smooth, the disc is centred in the square (the 16-pixel picture leaves its last column and row
// empty, as the platform's boxes do).
QImage drawScaledMeter(int size, double percent, const QColor& disc, const QColor& outline) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter canvas(&image);
    canvas.setRenderHint(QPainter::Antialiasing);
    const double scale = size / static_cast<double>(TrayIconSize);
    const QRectF box(0.5 * scale, 0.5 * scale, size - scale, size - scale);
    canvas.setPen(Qt::NoPen);
    canvas.setBrush(disc);
    canvas.drawEllipse(box);
    if (percent >= 1.0 && std::isfinite(percent)) {
        // 150 draws as 50, as the 16-pixel picture does; a whole multiple of 100 fills the disc.
        const double share = std::fmod(percent, 100.0);
        canvas.setBrush(Used);
        if (share == 0.0)
            canvas.drawEllipse(box);
        else
            canvas.drawPie(box, 90 * 16, -static_cast<int>(std::lround(share * 3.6 * 16)));
    }
    canvas.setPen(QPen(outline, scale));
    canvas.setBrush(Qt::NoBrush);
    canvas.drawEllipse(box);
    return image;
}

} // namespace

QImage drawTrayMeter(int size, double percent) {
    if (size < 8 || size > 256)
        throw Error("Invalid tray icon size " + std::to_string(size));
    if (size != TrayIconSize)
        return drawScaledMeter(size, percent, Disc, Outline);
    QImage surface(TrayIconSize, TrayIconSize, QImage::Format_RGB32);
    {
        QPainter canvas(&surface);
        drawTrayPie(canvas, TrayKeyColor, percent);
    }
    QImage picture = surface.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if ((picture.pixel(x, y) & 0xFFFFFF) == (TrayKeyColor & 0xFFFFFF))
                picture.setPixel(x, y, 0);
    return picture;
}

QImage drawNeutralMeter(int size) {
    if (size < 8 || size > 256)
        throw Error("Invalid tray icon size " + std::to_string(size));
    return drawScaledMeter(size, std::numeric_limits<double>::quiet_NaN(), QColor(232, 232, 232),
                           QColor(120, 120, 120));
}

} // namespace vantle
