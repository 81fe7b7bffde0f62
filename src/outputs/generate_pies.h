// The pie pictures of the status page: for every traffic type with a quota, a 160 x 160 PNG with
// a pale blue slice of the used share inside a grey ring and the rounded share across the middle.
#pragma once

#include <QImage>
#include <QPoint>

#include <string>

class QPainter;

namespace vantle {

class Tconfiguration;
class Tiinet;

inline constexpr int PieImageSize = 160;

// Drawing needs a QGuiApplication (for the font); any thread may draw.

// The picture of every type whose quotaMB is above 0, in the model's order, into the
// configuration's html folder or the given folder (ending with "/"), under the name pieFileName
// gives it. Pictures of types without a quota are left as they are; those of types the model no
// longer has are removed.
void generatePies(const Tconfiguration& configuration, const Tiinet& usage);
void generatePies(const Tiinet& usage, const std::string& htmlFolder);

// Replaces htmlFolder + pieFileName(classification, 0) with the picture of the share.
void writePieImage(const Tconfiguration& configuration, const std::string& classification,
                   double percent);
void writePieImage(const std::string& htmlFolder, const std::string& classification,
                   double percent);

// The picture of a share (unclamped; above 100 the disc is full and the label says the share),
// drawn at twice the size without antialiasing and halved with smoothing; RGB, no alpha.
QImage pieImage(double percent);

// The PNG file of an image, 8 bits per channel RGB without alpha. Raises Error when encoding
// fails.
std::string pngBytes(const QImage& image);

// A slice of the disc of radius around centre from twelve o'clock clockwise through angle
// degrees (360 the whole disc), with the canvas's current pen and brush. A non-finite angle draws
// nothing.
void drawPieSlice(QPainter& canvas, QPoint centre, int radius, double angle);

} // namespace vantle
