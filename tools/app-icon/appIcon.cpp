// Draws the program icon, a round pie meter (white disc, dark ring, green wedge), at every
// size the hicolor theme gets: <folder>/NxN/apps/vantle.png, 32 bits per pixel with alpha.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QRectF>
#include <QString>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int sizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
// The share of the month's quota the wedge shows, clockwise from twelve o'clock.
constexpr double wedgeShare = 0.65;

// Drawn at each size rather than scaled from one, so the small icons keep a crisp ring.
QImage icon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double ring = std::max(1.0, size / 14.0);
    const double margin = size / 32.0;
    const QRectF disc(margin + ring / 2, margin + ring / 2, size - 2 * margin - ring,
                      size - 2 * margin - ring);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(disc);
    const double inset = ring / 2 + std::max(1.0, size / 24.0);
    const QRectF wedge = disc.adjusted(inset, inset, -inset, -inset);
    painter.setBrush(QColor(0, 128, 0));
    // Qt's angles are sixteenths of a degree, counter-clockwise from three o'clock.
    painter.drawPie(wedge, 90 * 16, -static_cast<int>(wedgeShare * 360 * 16));
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), ring));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(disc);
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: app-icon <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (const int size : sizes) {
        const QString apps = folder + QStringLiteral("/%1x%1/apps").arg(size);
        const QString path = apps + QStringLiteral("/vantle.png");
        if (!QDir().mkpath(apps) || !icon(size).save(path, "PNG")) {
            std::fprintf(stderr, "app-icon: cannot write %s\n", path.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
