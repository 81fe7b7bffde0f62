// Draws the wait window's animation: W1.png to W16.png, a five-armed teal star that grows from
// thin arms into a plump star, 32 x 32 with an alpha channel.
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRadialGradient>
#include <QString>

#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

constexpr int frameCount = 16;
constexpr int frameSize = 32;

// The star of step t (0 for the first frame, 1 for the last), one arm pointing up.
QPainterPath star(double t) {
    const double outer = 11.0 + 3.5 * t;
    const double inner = 2.0 + 5.5 * t;
    // Lowered by half the gap between the top tip and the bottom tips, so it sits centred.
    const QPointF centre(frameSize / 2.0,
                         frameSize / 2.0 + outer * (1 - std::cos(std::numbers::pi / 5)) / 2);
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? outer : inner;
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const QPointF point = centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

QImage frame(double t) {
    QImage image(frameSize, frameSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient fill(QPointF(frameSize / 2.0 - 2, frameSize / 2.0 - 2), 14);
    fill.setColorAt(0, QColor(0x7f, 0xe0, 0xd8));
    fill.setColorAt(1, QColor(0x00, 0x80, 0x80));
    // Round joins keep the thin arms' tips from turning into spikes.
    painter.setPen(QPen(QColor(0x00, 0x5a, 0x5a), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(fill);
    painter.drawPath(star(t));
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wait-frames <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 1; i <= frameCount; ++i) {
        const QString path = folder + QStringLiteral("/W%1.png").arg(i);
        if (!frame((i - 1) / double(frameCount - 1)).save(path, "PNG")) {
            std::fprintf(stderr, "wait-frames: cannot write %s\n", path.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
