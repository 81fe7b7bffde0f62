// Draws the about window's picture: a green sphere with long round-tipped spikes on white,
// 256 x 256 at 24 bits per pixel, written as one PNG file.
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRadialGradient>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

constexpr int pictureSize = 256;
constexpr double sphereRadius = 56.0;
constexpr double tipDistance = 110.0; // from the centre, along the spike
constexpr double baseHalfWidth = 6.5;
constexpr double tipHalfWidth = 2.2;
constexpr double tipRadius = 6.0;
constexpr int spikeCount = 46;
const QPointF centre(pictureSize / 2.0, pictureSize / 2.0);
// Where the light comes from, for the sphere's and the tips' highlights.
const QPointF lightOffset(-0.38, -0.42);

struct Direction {
    double x, y, z; // z towards the viewer
};

// Evenly spread over the sphere (a Fibonacci lattice), turned so that no spike points
// straight at the viewer.
std::vector<Direction> spikeDirections() {
    std::vector<Direction> directions;
    const double golden = std::numbers::pi * (3.0 - std::sqrt(5.0));
    const double tilt = 0.45;
    for (int i = 0; i < spikeCount; ++i) {
        const double y = 1.0 - 2.0 * (i + 0.5) / spikeCount;
        const double ring = std::sqrt(1.0 - y * y);
        const double angle = golden * i;
        const double x = ring * std::cos(angle);
        const double z = ring * std::sin(angle);
        directions.push_back(
            {x, y * std::cos(tilt) - z * std::sin(tilt), y * std::sin(tilt) + z * std::cos(tilt)});
    }
    std::sort(directions.begin(), directions.end(),
              [](const Direction& a, const Direction& b) { return a.z < b.z; });
    return directions;
}

QPointF projected(const Direction& d, double distance) {
    return centre + QPointF(d.x * distance, d.y * distance);
}

QColor shade(const QColor& colour, double depth) {
    // Spikes at the back are darker; depth runs from -1 (back) to 1 (front).
    return colour.darker(static_cast<int>(135 - 35 * depth));
}

void drawBall(QPainter& painter, const QPointF& at, double radius, const QColor& light,
              const QColor& mid, const QColor& dark) {
    QRadialGradient fill(at + lightOffset * radius, radius * 1.35);
    fill.setFocalPoint(at + lightOffset * radius * 0.9);
    fill.setColorAt(0.0, light);
    fill.setColorAt(0.45, mid);
    fill.setColorAt(1.0, dark);
    painter.setPen(QPen(dark.darker(130), 0.8));
    painter.setBrush(fill);
    painter.drawEllipse(at, radius, radius);
}

void drawSpike(QPainter& painter, const Direction& d) {
    const double depth = d.z;
    const QPointF base = projected(d, sphereRadius * 0.92);
    const QPointF tip = projected(d, tipDistance);
    const QPointF along = tip - base;
    const double length = std::hypot(along.x(), along.y());
    const QPointF across =
        length > 0.01 ? QPointF(-along.y() / length, along.x() / length) : QPointF(1, 0);

    QPainterPath shaft;
    shaft.moveTo(base + across * baseHalfWidth);
    shaft.lineTo(tip + across * tipHalfWidth);
    shaft.lineTo(tip - across * tipHalfWidth);
    shaft.lineTo(base - across * baseHalfWidth);
    shaft.closeSubpath();
    QLinearGradient fill(base + across * baseHalfWidth, base - across * baseHalfWidth);
    fill.setColorAt(0.0, shade(QColor(0x8c, 0xdc, 0x5a), depth));
    fill.setColorAt(0.5, shade(QColor(0x3d, 0xa8, 0x32), depth));
    fill.setColorAt(1.0, shade(QColor(0x1d, 0x6e, 0x22), depth));
    painter.setPen(QPen(shade(QColor(0x17, 0x55, 0x1a), depth), 0.8));
    painter.setBrush(fill);
    painter.drawPath(shaft);

    drawBall(painter, tip, tipRadius, shade(QColor(0xd8, 0xf8, 0xa8), depth),
             shade(QColor(0x52, 0xbe, 0x3c), depth), shade(QColor(0x1d, 0x6e, 0x22), depth));
}

QImage picture() {
    QImage image(pictureSize, pictureSize, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const std::vector<Direction> directions = spikeDirections();
    auto front = std::find_if(directions.begin(), directions.end(),
                              [](const Direction& d) { return d.z >= 0; });
    for (auto d = directions.begin(); d != front; ++d)
        drawSpike(painter, *d);
    drawBall(painter, centre, sphereRadius, QColor(0xe2, 0xfb, 0xc0), QColor(0x4c, 0xb8, 0x3a),
             QColor(0x14, 0x58, 0x1a));
    for (auto d = front; d != directions.end(); ++d)
        drawSpike(painter, *d);
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: about-picture <file.png>\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    if (!picture().save(path, "PNG")) {
        std::fprintf(stderr, "about-picture: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
