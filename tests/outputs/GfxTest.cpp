// The drawing calls and the icon conversion: transparent key, stretching and the icon file's
// layout, read back by hand and by Qt's own reader.
#include "outputs/gfx.h"

#include "lib/runtime/Error.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdint>

using namespace vantle;

namespace {

constexpr QRgb Key = qRgb(255, 0, 255);

std::uint32_t le(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// A 4 x 4 picture: key on the left half, red and blue on the right.
QImage keyedSample() {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Key);
    for (int y = 0; y < 4; ++y) {
        image.setPixel(2, y, qRgb(255, 0, 0));
        image.setPixel(3, y, qRgb(0, 0, 255));
    }
    return image;
}

int differences(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return -1;
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

QImage readIco(const std::string& bytes) {
    QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "ico");
    return reader.read();
}

} // namespace

TEST(GfxTest, KeyPixelsTurnBlackAndSetTheMask) {
    const Ticon icon = bitmapToIcon(keyedSample(), Key, 4, false);
    ASSERT_EQ(icon.color.size(), QSize(4, 4));
    ASSERT_EQ(icon.mask.size(), QSize(4, 4));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const bool key = x < 2;
            EXPECT_EQ(icon.mask.pixelIndex(x, y), key ? 1 : 0);
            const QRgb expected = key ? qRgb(0, 0, 0) : x == 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
            EXPECT_EQ(icon.color.pixel(x, y), expected);
        }
    }
}

TEST(GfxTest, StretchFillsTheIconAndOtherwiseTheRestIsOpaqueBlack) {
    const Ticon stretched = bitmapToIcon(keyedSample(), Key, 8, true);
    const Ticon placed = bitmapToIcon(keyedSample(), Key, 8, false);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            EXPECT_EQ(stretched.mask.pixelIndex(x, y), x < 4 ? 1 : 0);
            const bool inside = x < 4 && y < 4;
            EXPECT_EQ(placed.mask.pixelIndex(x, y), inside && x < 2 ? 1 : 0);
            if (!inside) {
                EXPECT_EQ(placed.color.pixel(x, y), qRgb(0, 0, 0));
            }
        }
    }
    EXPECT_EQ(stretched.color.pixel(5, 7), qRgb(255, 0, 0));
    EXPECT_EQ(stretched.color.pixel(7, 0), qRgb(0, 0, 255));
    EXPECT_THROW(bitmapToIcon(keyedSample(), Key, 0, false), Error);
    EXPECT_THROW(bitmapToIcon(keyedSample(), Key, 257, false), Error);
}

TEST(GfxTest, IconFileHoldsOneImageWithAgreeingAlphaAndMask) {
    QImage source(16, 16, QImage::Format_RGB32);
    source.fill(qRgb(10, 20, 30));
    source.setPixel(0, 0, Key);   // top left
    source.setPixel(15, 15, Key); // bottom right
    source.setPixel(9, 3, Key);
    const std::string file = bitmapToIcon(source, Key, 16, false).fileBytes();

    // Directory: reserved, type 1 (icon), one entry of 16 x 16, 32 bits, 40 + 1024 + 64 bytes.
    ASSERT_EQ(file.size(), 6u + 16u + 40u + 16u * 16u * 4u + 16u * 4u);
    EXPECT_EQ(le(file, 0, 2), 0u);
    EXPECT_EQ(le(file, 2, 2), 1u);
    EXPECT_EQ(le(file, 4, 2), 1u);
    EXPECT_EQ(le(file, 6, 1), 16u);
    EXPECT_EQ(le(file, 7, 1), 16u);
    EXPECT_EQ(le(file, 10, 2), 1u);
    EXPECT_EQ(le(file, 12, 2), 32u);
    EXPECT_EQ(le(file, 14, 4), 1128u);
    EXPECT_EQ(le(file, 18, 4), 22u);
    // Bitmap header: the height counts colour and mask rows.
    EXPECT_EQ(le(file, 22, 4), 40u);
    EXPECT_EQ(le(file, 26, 4), 16u);
    EXPECT_EQ(le(file, 30, 4), 32u);
    EXPECT_EQ(le(file, 36, 2), 32u);
    EXPECT_EQ(le(file, 38, 4), 0u);

    // Rows are stored bottom-up; every pixel's alpha agrees with its mask bit.
    const std::size_t colour = 62;
    const std::size_t mask = colour + 1024;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const auto row = static_cast<std::size_t>(15 - y);
            const std::size_t at = colour + (row * 16 + static_cast<std::size_t>(x)) * 4;
            const bool masked =
                (le(file, mask + row * 4 + static_cast<std::size_t>(x / 8), 1) >> (7 - x % 8)) & 1;
            const bool key = (x == 0 && y == 0) || (x == 15 && y == 15) || (x == 9 && y == 3);
            EXPECT_EQ(masked, key);
            EXPECT_EQ(le(file, at + 3, 1), key ? 0u : 255u);
            EXPECT_EQ(le(file, at, 3), key ? 0u : 0x0A141Eu); // blue, green, red
        }
    }

    const QImage loaded = readIco(file);
    ASSERT_EQ(loaded.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(loaded.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(loaded.pixel(15, 15)), 0);
    EXPECT_EQ(qAlpha(loaded.pixel(9, 3)), 0);
    EXPECT_EQ(loaded.pixel(15, 0), qRgba(10, 20, 30, 255));
}

TEST(GfxTest, PieRunsCounterClockwiseFromStartToEnd) {
    struct Case {
        QPointF start;
        QPointF end;
        bool topRight, topLeft, bottomLeft, bottomRight;
    };
    // Box (0, 0, 40, 40), centre (20, 20).
    const Case cases[] = {
        {{40, 20}, {20, 0}, true, false, false, false}, // three to twelve o'clock
        {{20, 0}, {40, 20}, false, true, true, true},   // twelve round to three
        {{20, 40}, {20, 0}, true, false, false, true},  // the right half
        {{20, 5}, {20, 0}, true, true, true, true},     // coinciding radials: the whole disc
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start.x() << "," << c.start.y());
        QImage image(40, 40, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter canvas(&image);
            canvas.setPen(Qt::NoPen);
            canvas.setBrush(Qt::black);
            drawPie(canvas, 0, 0, 40, 40, c.start, c.end);
        }
        const auto black = [&](int x, int y) { return image.pixel(x, y) == qRgb(0, 0, 0); };
        EXPECT_EQ(black(30, 10), c.topRight);
        EXPECT_EQ(black(10, 10), c.topLeft);
        EXPECT_EQ(black(10, 30), c.bottomLeft);
        EXPECT_EQ(black(30, 30), c.bottomRight);
        EXPECT_FALSE(black(1, 1)); // outside the ellipse
    }
}

TEST(GfxTest, HaloedTextEqualsTheTextDrawnAtEveryOffset) {
    QFont font(QGuiApplication::font().family());
    font.setPixelSize(48);
    font.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(font);
    struct Case {
        const char* text;
        QPoint topLeft;
        int reach;
    };
    const Case cases[] = {
        {"45%", {100, 130}, 4},
        {"gjy%", {10, 10}, 4},          // descenders
        {"100%", {-40, -30}, 4},        // cut by the top left edge
        {"1000000000%", {200, 290}, 4}, // and by the bottom right one
        {"7", {2, 2}, 1},
        {"0%", {100, 100}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QImage expected(320, 320, QImage::Format_RGB32);
        expected.fill(qRgb(166, 202, 240));
        QImage actual = expected;
        const QString text = QString::fromLatin1(c.text);
        {
            QPainter canvas(&expected);
            canvas.setFont(font);
            canvas.setPen(Qt::white);
            const int baseline = c.topLeft.y() + metrics.ascent();
            for (int dx = -c.reach; dx <= c.reach; ++dx)
                for (int dy = -c.reach; dy <= c.reach; ++dy)
                    canvas.drawText(c.topLeft.x() + dx, baseline + dy, text);
            canvas.setPen(Qt::black);
            canvas.drawText(c.topLeft.x(), baseline, text);
        }
        {
            QPainter canvas(&actual);
            canvas.setFont(font);
            drawHaloedText(canvas, c.topLeft.x(), c.topLeft.y(), text, Qt::white, Qt::black,
                           c.reach);
        }
        EXPECT_EQ(differences(actual, expected), 0);
    }
}
