// The tray icon and tray hint files: the used share of the current traffic type as a green wedge
// in a white 16 x 16 disc, and the one-line hint with the share and the megabytes.
#pragma once

#include <QImage>
#include <QRgb>

#include <string>

class QPainter;

namespace vantle {

class Tconfiguration;
class Tiinet;
struct Ttraffic;

// The background of the tray picture, transparent in the icon.
inline constexpr QRgb TrayKeyColor = qRgb(255, 0, 255);
inline constexpr int TrayIconSize = 16;
// What notification areas ask for, from a 16-pixel panel to a large or scaled one.
inline constexpr int TrayIconSizes[] = {16, 22, 24, 32, 48, 64};

// writeTrayIcon, then writeTrayHint, into the configuration's files or the given ones; with the
// configuration writeTrayIcons follows. A model without the current traffic record raises "Failed
// to find current traffic data" before any file is touched.
void generateTray(const Tconfiguration& configuration, const Tiinet& usage);
void generateTray(const Tiinet& usage, const std::string& iconFile, const std::string& hintFile);

// Draws the current type's share and replaces the icon file.
void writeTrayIcon(const Tconfiguration& configuration, const Tiinet& usage);
void writeTrayIcon(const Tiinet& usage, const std::string& iconFile);

// The icon of the notification area: the current type's share at every size of TrayIconSizes,
// in one icon file; the 16-pixel picture is that of the tray icon file.
void writeTrayIcons(const Tconfiguration& configuration, const Tiinet& usage);
void writeTrayIcons(const Tiinet& usage, const std::string& iconsFile);

// Replaces the hint file with trayHintText of the current type.
void writeTrayHint(const Tconfiguration& configuration, const Tiinet& usage);
void writeTrayHint(const Tiinet& usage, const std::string& hintFile);

// "Peak: 45% (11,250 / 25,000)": name, share without decimals, megabytes used and allowed.
std::string trayHintText(const Ttraffic& current);

// The tray picture on a 16 x 16 canvas: key background, white disc with a black ring and, from
// a share of 1 on, a green wedge from twelve o'clock clockwise. From 100 on the disc is full
// (150 draws as 100). A share that is not a number draws no wedge.
void drawTrayPie(QPainter& canvas, QRgb key, double percent);

// The tray picture at size x size pixels (8 to 256) on a transparent background. At 16 it is
// drawTrayPie's picture; any other size draws the same disc, ring and wedge scaled to it and
// smoothed, rather than scaling the 16-pixel pixels.
QImage drawTrayMeter(int size, double percent);
// The meter before any usage is known: a grey disc and ring without a wedge, so that it cannot
// be read as a share.
QImage drawNeutralMeter(int size);

} // namespace vantle
