// The platform's ellipse and pie on QPainter, and a hand-written icon file: one directory entry,
// a bottom-up 32-bit colour bitmap and its 1-bit AND mask.
#include "outputs/gfx.h"

#include "lib/runtime/Error.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QRect>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace vantle {
namespace {

// The platform fills and outlines the pixels from left to right - 1; Qt's aliased drawing of a
// rectangle one pixel narrower covers the same pixels.
QRectF shapeRect(int left, int top, int right, int bottom) {
    return QRectF(left, top, static_cast<double>(right) - left - 1,
                  static_cast<double>(bottom) - top - 1);
}

// Counter-clockwise degrees from three o'clock, with y pointing down.
double screenAngle(QPointF direction) {
    return std::atan2(-direction.y(), direction.x()) * 180.0 / std::numbers::pi;
}

bool sameDirection(QPointF a, QPointF b) {
    const long double cross =
        static_cast<long double>(a.x()) * b.y() - static_cast<long double>(a.y()) * b.x();
    const long double dot =
        static_cast<long double>(a.x()) * b.x() + static_cast<long double>(a.y()) * b.y();
    return cross == 0 && dot > 0;
}

bool isKey(QRgb pixel, QRgb key) {
    return qRed(pixel) == qRed(key) && qGreen(pixel) == qGreen(key) && qBlue(pixel) == qBlue(key);
}

void putWord(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void putLong(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

} // namespace

void drawEllipse(QPainter& canvas, int left, int top, int right, int bottom) {
    canvas.drawEllipse(shapeRect(left, top, right, bottom));
}

void drawPie(QPainter& canvas, int left, int top, int right, int bottom, QPointF start,
             QPointF end) {
    // The platform fills a pixel whose centre lies on the shape's top or left edge; moving the
    // shape up and left by a fraction of a pixel gives Qt's centre sampling the same rule, so
    // that a wedge along twelve o'clock as thin as one percent still shows.
    constexpr double TopLeftRule = 1.0 / 32;
    const QRectF rect = shapeRect(left, top, right, bottom).translated(-TopLeftRule, -TopLeftRule);
    const QPointF centre((static_cast<double>(left) + right) / 2,
                         (static_cast<double>(top) + bottom) / 2);
    const QPointF from = start - centre;
    const QPointF to = end - centre;
    if (sameDirection(from, to)) {
        canvas.drawEllipse(rect);
        return;
    }
    const double startAngle = screenAngle(from);
    double span = std::fmod(screenAngle(to) - startAngle, 360.0);
    if (span <= 0)
        span += 360.0;
    QPainterPath path;
    path.moveTo(rect.center());
    path.arcTo(rect, startAngle, span);
    path.closeSubpath();
    canvas.drawPath(path);
}

void drawHaloedText(QPainter& canvas, int left, int top, const QString& text,
                    const QColor& haloColor, const QColor& textColor, int reach) {
    const QFontMetrics metrics(canvas.font(), canvas.device());
    const int baseline = top + metrics.ascent();
    // The halo is the text's ink grown by reach in both directions: one drawing and a
    // separable dilation instead of (2 reach + 1)^2 drawings. The layer covers the ink (which
    // may reach beyond the advance box) grown by reach, and no more of it than can still reach
    // the canvas.
    const QRect device(0, 0, canvas.device()->width(), canvas.device()->height());
    const QRect ink = metrics.boundingRect(text).translated(left, baseline).adjusted(-1, -1, 1, 1);
    const QRect area = ink.adjusted(-reach, -reach, reach, reach)
                           .intersected(device.adjusted(-reach, -reach, reach, reach));
    if (reach > 0 && !area.isEmpty()) {
        QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        {
            QPainter painter(&layer);
            painter.setRenderHints(canvas.renderHints());
            painter.setFont(canvas.font());
            painter.setPen(Qt::black);
            painter.drawText(left - area.left(), baseline - area.top(), text);
        }
        const int w = area.width();
        const int h = area.height();
        std::vector<unsigned char> across(static_cast<std::size_t>(w) * h);
        const auto inked = [&layer](int x, int y) {
            return qAlpha(reinterpret_cast<const QRgb*>(layer.constScanLine(y))[x]) != 0;
        };
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                bool any = false;
                for (int dx = std::max(0, x - reach); !any && dx <= std::min(w - 1, x + reach);
                     ++dx)
                    any = inked(dx, y);
                across[static_cast<std::size_t>(y) * w + x] = any;
            }
        }
        const QRgb halo = qPremultiply(haloColor.rgba());
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<QRgb*>(layer.scanLine(y));
            for (int x = 0; x < w; ++x) {
                bool any = false;
                for (int dy = std::max(0, y - reach); !any && dy <= std::min(h - 1, y + reach);
                     ++dy)
                    any = across[static_cast<std::size_t>(dy) * w + x] != 0;
                row[x] = any ? halo : 0;
            }
        }
        canvas.drawImage(area.topLeft(), layer);
    } else if (reach == 0) {
        canvas.setPen(haloColor);
        canvas.drawText(left, baseline, text);
    }
    canvas.setPen(textColor);
    canvas.drawText(left, baseline, text);
}

Ticon bitmapToIcon(const QImage& bitmap, QRgb transparentColor, int size, bool stretch) {
    if (size < 1 || size > 256)
        throw Error("Invalid icon size " + std::to_string(size));
    QImage color(size, size, QImage::Format_RGB32);
    color.fill(Qt::black);
    {
        QPainter painter(&color);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        if (stretch)
            painter.drawImage(QRect(0, 0, size, size), bitmap);
        else
            painter.drawImage(QPoint(0, 0), bitmap);
    }
    QImage mask(size, size, QImage::Format_Mono);
    mask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mask.fill(0);
    for (int y = 0; y < size; ++y) {
        auto* row = reinterpret_cast<QRgb*>(color.scanLine(y));
        for (int x = 0; x < size; ++x) {
            if (isKey(row[x], transparentColor)) {
                mask.setPixel(x, y, 1);
                row[x] = qRgb(0, 0, 0);
            }
        }
    }
    return Ticon{color, mask};
}

std::string Ticon::fileBytes() const {
    const int width = color.width();
    const int height = color.height();
    if (width < 1 || width > 256 || height < 1 || height > 256 || mask.size() != color.size())
        throw Error("Invalid icon image");
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    const std::uint32_t maskStride = (w + 31) / 32 * 4; // rows padded to 32 bits
    const std::uint32_t imageBytes = 40 + w * h * 4 + maskStride * h;
    constexpr std::uint32_t imageOffset = 6 + 16;

    std::string out;
    out.reserve(imageOffset + imageBytes);
    // Icon directory with one entry; 0 stands for 256 in the size bytes.
    putWord(out, 0);
    putWord(out, 1);
    putWord(out, 1);
    out += static_cast<char>(w & 0xFF);
    out += static_cast<char>(h & 0xFF);
    out += '\0'; // no palette
    out += '\0';
    putWord(out, 1);  // planes
    putWord(out, 32); // bits per pixel
    putLong(out, imageBytes);
    putLong(out, imageOffset);
    // Bitmap header; the height counts the colour rows and the mask rows.
    putLong(out, 40);
    putLong(out, w);
    putLong(out, h * 2);
    putWord(out, 1);
    putWord(out, 32);
    putLong(out, 0); // uncompressed
    putLong(out, imageBytes - 40);
    for (int i = 0; i < 4; ++i)
        putLong(out, 0);
    // Rows bottom-up, pixels as blue, green, red, alpha.
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = color.pixel(x, y);
            const bool transparent = mask.pixelIndex(x, y) == 1;
            out += static_cast<char>(qBlue(pixel));
            out += static_cast<char>(qGreen(pixel));
            out += static_cast<char>(qRed(pixel));
            out += static_cast<char>(transparent ? 0 : 255);
        }
    }
    for (int y = height - 1; y >= 0; --y) {
        std::string row(maskStride, '\0');
        for (int x = 0; x < width; ++x) {
            if (mask.pixelIndex(x, y) == 1) {
                char& bits = row[static_cast<std::size_t>(x / 8)];
                bits = static_cast<char>(bits | (0x80 >> (x % 8)));
            }
        }
        out += row;
    }
    return out;
}

std::string iconFileBytes(const std::vector<QImage>& pictures) {
    if (pictures.empty() || pictures.size() > 0xFFFF)
        throw Error("Invalid icon image");
    std::vector<std::string> images;
    for (const QImage& source : pictures) {
        if (source.width() < 1 || source.width() > 256 || source.height() < 1 ||
            source.height() > 256)
            throw Error("Invalid icon image");
        const QImage picture = source.convertToFormat(QImage::Format_ARGB32);
        const auto w = static_cast<std::uint32_t>(picture.width());
        const auto h = static_cast<std::uint32_t>(picture.height());
        const std::uint32_t maskStride = (w + 31) / 32 * 4;
        std::string image;
        putLong(image, 40);
        putLong(image, w);
        putLong(image, h * 2);
        putWord(image, 1);
        putWord(image, 32);
        putLong(image, 0);
        putLong(image, w * h * 4 + maskStride * h);
        for (int i = 0; i < 4; ++i)
            putLong(image, 0);
        for (int y = picture.height() - 1; y >= 0; --y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb pixel = picture.pixel(x, y);
                image += static_cast<char>(qBlue(pixel));
                image += static_cast<char>(qGreen(pixel));
                image += static_cast<char>(qRed(pixel));
                image += static_cast<char>(qAlpha(pixel));
            }
        }
        for (int y = picture.height() - 1; y >= 0; --y) {
            std::string row(maskStride, '\0');
            for (int x = 0; x < picture.width(); ++x) {
                if (qAlpha(picture.pixel(x, y)) == 0) {
                    char& bits = row[static_cast<std::size_t>(x / 8)];
                    bits = static_cast<char>(bits | (0x80 >> (x % 8)));
                }
            }
            image += row;
        }
        images.push_back(std::move(image));
    }
    std::string out;
    putWord(out, 0);
    putWord(out, 1);
    putWord(out, static_cast<std::uint16_t>(images.size()));
    auto offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        // 0 stands for 256 in the size bytes.
        out += static_cast<char>(pictures[i].width() & 0xFF);
        out += static_cast<char>(pictures[i].height() & 0xFF);
        out += '\0';
        out += '\0';
        putWord(out, 1);
        putWord(out, 32);
        putLong(out, static_cast<std::uint32_t>(images[i].size()));
        putLong(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const std::string& image : images)
        out += image;
    return out;
}

} // namespace vantle
