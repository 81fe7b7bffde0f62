// The drawing calls the status pictures are built from, with the platform's box conventions, and
// the conversion of a bitmap with a transparent colour into an icon and its file bytes.
#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRgb>
#include <QString>

#include <string>
#include <vector>

class QPainter;

namespace vantle {

// Boxes are (left, top, right, bottom) with the right column and bottom row left out. Drawing
// uses the canvas's current pen and brush.
void drawEllipse(QPainter& canvas, int left, int top, int right, int bottom);
// The pie of the ellipse in the box from the radial through start counter-clockwise (as seen on
// screen) to the radial through end, both radials taken from the box's centre; the whole
// ellipse when the two radials coincide.
void drawPie(QPainter& canvas, int left, int top, int right, int bottom, QPointF start,
             QPointF end);

// Text placed by its top left corner, as the platform places it, with the canvas's font: drawn
// in haloColor at every offset of up to reach pixels across and down, then once in textColor.
// The canvas should draw text without antialiasing, so that the halo is exactly the union of
// those copies.
void drawHaloedText(QPainter& canvas, int left, int top, const QString& text,
                    const QColor& haloColor, const QColor& textColor, int reach);

// One icon image: the colour bitmap with its transparent pixels turned black, and the AND mask
// (a Format_Mono image of the same size) whose pixels of index 1 are the transparent ones.
struct Ticon {
    QImage color;
    QImage mask;

    // An icon file holding this one image: 32 bits per pixel, alpha 0 where the mask is set and
    // 255 elsewhere, followed by the AND mask, so that readers of either see the same picture.
    std::string fileBytes() const;
};

// An icon file holding each picture (1 to 256 pixels square, in the order given) with its alpha
// channel, 32 bits per pixel, and an AND mask set where a pixel is fully transparent. Raises
// Error for no picture or a size out of range.
std::string iconFileBytes(const std::vector<QImage>& pictures);

// An icon of size x size pixels (1 to 256) from bitmap, whose pixels of transparentColor (red,
// green and blue compared) become transparent. The bitmap is drawn at (0, 0), or stretched to
// fill the icon when stretch is set; what it does not cover is black. Raises Error for a size
// out of range.
Ticon bitmapToIcon(const QImage& bitmap, QRgb transparentColor, int size, bool stretch);

} // namespace vantle
