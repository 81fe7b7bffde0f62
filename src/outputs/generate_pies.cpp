// The pies are drawn at 320 x 320 without antialiasing and halved with Qt's smooth (averaging)
// transformation, which is what gives them soft edges.
#include "outputs/generate_pies.h"

#include "config/configuration.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "lib/runtime/Numbers.h"
#include "lib/utils/FileUtils.h"
#include "outputs/gfx.h"
#include "outputs/pieFiles.h"
#include "usage/iinet.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>

#include <cmath>
#include <numbers>
#include <set>
#include <vector>

namespace vantle {
namespace {

constexpr int DrawingSize = PieImageSize * 2;
constexpr int PenWidth = 8;
constexpr int LabelPixels = 48;
constexpr int HaloReach = 4;

const QColor Background(255, 255, 255);
const QColor Ring(128, 128, 128);
const QColor SliceHalo(255, 255, 255);
const QColor SliceFill(166, 202, 240);
const QColor SliceOutline(0, 0, 0);
const QColor LabelHalo(255, 255, 255);
const QColor Label(0, 0, 0);

QPen pen(const QColor& color, int width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QFont labelFont() {
    QFont font(QGuiApplication::font().family());
    font.setPixelSize(LabelPixels);
    font.setWeight(QFont::Normal);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

} // namespace

void generatePies(const Tconfiguration& configuration, const Tiinet& usage) {
    generatePies(usage, configuration.htmlFolder);
}

void generatePies(const Tiinet& usage, const std::string& htmlFolder) {
    const std::vector<std::string> types = usage.trafficTypes();
    std::set<std::string> current;
    for (std::size_t i = 0; i < types.size(); ++i) {
        const std::string file = pieFileName(types[i], i);
        current.insert(file);
        const Ttraffic record = usage.findTraffic(types[i]);
        if (record.quotaMB > 0)
            WriteFileText(pngBytes(pieImage(record.usedPercent)), htmlFolder + file);
    }
    // Types the provider no longer lists would leave their pictures behind for ever.
    removeOtherPies(htmlFolder, current);
}

void writePieImage(const Tconfiguration& configuration, const std::string& classification,
                   double percent) {
    writePieImage(configuration.htmlFolder, classification, percent);
}

void writePieImage(const std::string& htmlFolder, const std::string& classification,
                   double percent) {
    WriteFileText(pngBytes(pieImage(percent)), htmlFolder + pieFileName(classification, 0));
}

QImage pieImage(double percent) {
    double angle = percent / 100 * 360;
    if (std::isnan(angle))
        angle = 0;
    else if (angle > 360)
        angle = 360;
    else if (angle < 0)
        angle = 0;
    // Rounded as a double (ties to even in the default rounding mode), so that no share is too
    // large for an integer.
    const double rounded = std::nearbyint(percent);
    const QString label = QString::fromStdString(runtime::formatFixed0(rounded)) + "%";

    QImage surface(DrawingSize, DrawingSize, QImage::Format_RGB32);
    surface.fill(Background);
    {
        QPainter canvas(&surface);
        canvas.setRenderHint(QPainter::Antialiasing, false);
        const QPoint centre(DrawingSize / 2, DrawingSize / 2);
        const int cx = centre.x();
        const int cy = centre.y();

        const auto r0 = static_cast<int>(runtime::roundHalfEven((cx - PenWidth) * 0.9));
        canvas.setPen(pen(Ring, PenWidth));
        canvas.setBrush(Qt::NoBrush);
        drawEllipse(canvas, cx - r0, cy - r0, cx + r0, cy + r0);

        if (rounded > 0) {
            // Where the halo crosses the ring beside the straight edges it interrupts it; inside
            // the slice the fill covers it.
            canvas.setPen(pen(SliceHalo, PenWidth * 2));
            drawPieSlice(canvas, centre, cx - PenWidth * 2, angle);
            canvas.setPen(pen(SliceOutline, PenWidth));
            canvas.setBrush(SliceFill);
            drawPieSlice(canvas, centre, cx - PenWidth, angle);
        }

        canvas.setBrush(Qt::NoBrush);
        const QFont font = labelFont();
        canvas.setFont(font);
        const QFontMetrics metrics(font, &surface);
        const int tw = metrics.horizontalAdvance(label);
        const int th = metrics.height();
        drawHaloedText(canvas, cx - tw / 2, cy - th / 2, label, LabelHalo, Label, HaloReach);
    }
    return surface
        .scaled(PieImageSize, PieImageSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB888);
}

std::string pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image.convertToFormat(QImage::Format_RGB888)))
        throw Error("Cannot encode the picture as PNG: " + writer.errorString().toStdString());
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void drawPieSlice(QPainter& canvas, QPoint centre, int radius, double angle) {
    if (!std::isfinite(angle))
        return;
    const int cx = centre.x();
    const int cy = centre.y();
    const double t = (180 - angle) * std::numbers::pi / 180;
    const QPointF start(cx + static_cast<double>(runtime::roundHalfEven(std::sin(t) * radius)),
                        cy + static_cast<double>(runtime::roundHalfEven(std::cos(t) * radius)));
    const QPointF end(cx, -(static_cast<double>(cx) + radius)); // straight above the centre
    drawPie(canvas, cx - radius, cy - radius, cx + radius, cy + radius, start, end);
}

} // namespace vantle
