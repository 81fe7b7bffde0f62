// The tray icon and hint files: the wedge's pixels through Qt's own icon reader, the hint texts,
// and what a model without the current record or an unwritable folder leaves behind.
#include "outputs/generate_tray.h"

#include "config/configuration.h"
#include "lib/runtime/Error.h"
#include "outputs/gfx.h"
#include "support/TestSupport.h"
#include "usage/iinet.h"

#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <vector>

using namespace vantle;
using testing::HasSubstr;

namespace {

constexpr QRgb Green = qRgb(0, 128, 0);
constexpr QRgb White = qRgb(255, 255, 255);
constexpr QRgb Black = qRgb(0, 0, 0);

class GenerateTrayTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    Tconfiguration configuration;
    Tiinet usage{configuration};

    void setPeak(double percent, std::int64_t usedMB = 0, std::int64_t quotaMB = 25000) {
        usage.isOffpeak = false;
        usage.traffic = {Ttraffic{"Peak", "peak", 0, usedMB, quotaMB, percent}};
    }

    QImage icon(double percent) {
        setPeak(percent);
        writeTrayIcon(configuration, usage);
        return QImage(QString::fromStdString(configuration.trayIconFile), "ico");
    }
};

int count(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) == 255 && (image.pixel(x, y) | 0xFF000000) == colour;
    return n;
}

int transparent(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) == 0;
    return n;
}

// Every green pixel lies in the given columns and rows.
bool greenWithin(const QImage& image, int x0, int x1, int y0, int y1) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == Green && (x < x0 || x > x1 || y < y0 || y > y1))
                return false;
    return true;
}

// The icon enlarged eight times over a grey check, for a person to look at.
void keepArtefact(const QImage& icon, const std::string& name) {
    QImage view(128, 128, QImage::Format_RGB32);
    {
        QPainter painter(&view);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                painter.fillRect(x * 8, y * 8, 8, 8,
                                 (x + y) % 2 ? QColor(200, 200, 200) : Qt::gray);
        painter.drawImage(QRect(0, 0, 128, 128), icon);
    }
    std::filesystem::create_directories(VANTLE_ARTEFACTS);
    view.save(QString::fromStdString(std::string(VANTLE_ARTEFACTS "/tray-") + name + ".png"));
}

} // namespace

TEST_F(GenerateTrayTest, WedgeGrowsClockwiseFromTwelveFromOnePercentOn) {
    struct Case {
        double percent;
        int minGreen;       // green pixels at least
        int maxGreen;       // and at most
        int x0, x1, y0, y1; // where they may lie
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {-1.0, 0, 0, 0, 15, 0, 15}, // no quota
        {0, 0, 0, 0, 15, 0, 15},       {0.99, 0, 0, 0, 15, 0, 15},
        {1, 1, 8, 7, 8, 0, 7}, // a thin wedge right of twelve o'clock
        {25, 30, 60, 7, 15, 0, 8},     {50, 70, 110, 7, 15, 0, 15},
        {100, 130, 200, 0, 15, 0, 15}, {1e9, 130, 200, 0, 15, 0, 15}, // over the quota: full
        {nan, 0, 0, 0, 15, 0, 15},     {inf, 130, 200, 0, 15, 0, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        const QImage image = icon(c.percent);
        ASSERT_EQ(image.size(), QSize(16, 16));
        // The key became transparent; the ring is black, the disc white where no wedge is.
        for (const QPoint corner : {QPoint(0, 0), QPoint(15, 0), QPoint(0, 15), QPoint(15, 15)})
            EXPECT_EQ(qAlpha(image.pixel(corner)), 0);
        EXPECT_EQ(qAlpha(image.pixel(15, 7)), 0); // right of the disc
        EXPECT_EQ(image.pixel(0, 7), Black);
        EXPECT_EQ(image.pixel(7, 0), Black);
        EXPECT_EQ(image.pixel(14, 7), Black);
        if (c.percent < 50 || std::isnan(c.percent)) {
            EXPECT_EQ(image.pixel(3, 7), White);
        }
        const int green = count(image, Green);
        EXPECT_GE(green, c.minGreen);
        EXPECT_LE(green, c.maxGreen);
        EXPECT_TRUE(greenWithin(image, c.x0, c.x1, c.y0, c.y1));
        // Drawn without antialiasing: nothing but the three colours and the transparent key.
        EXPECT_EQ(green + count(image, White) + count(image, Black) + transparent(image), 256);
    }
    // At 100 the sliver left of twelve o'clock is narrower than a pixel.
    EXPECT_EQ(count(icon(100), White), 0);

    keepArtefact(icon(0), "0");
    keepArtefact(icon(1), "1");
    keepArtefact(icon(45), "45");
    keepArtefact(icon(100), "100");
}

// An account over its quota must not look half used: the wedge stays full, the hint says the
// real share.
TEST_F(GenerateTrayTest, SharesFromOneHundredOnFillTheDisc) {
    const QImage full = icon(100);
    for (const double percent : {100.5, 125.0, 150.0, 1e9}) {
        SCOPED_TRACE(percent);
        EXPECT_EQ(icon(percent), full);
    }
    EXPECT_NE(icon(90), full);
    EXPECT_EQ(trayHintText({"Peak", "peak", 0, 37500, 25000, 150.0}),
              "Peak: 150% (37,500 / 25,000)");
    keepArtefact(icon(150), "150");
}

TEST_F(GenerateTrayTest, HintShowsShareAndMegabytes) {
    struct Case {
        Ttraffic record;
        const char* hint;
    };
    const Case cases[] = {
        {{"Peak", "peak", 0, 11250, 25000, 45.0}, "Peak: 45% (11,250 / 25,000)"},
        {{"Off Peak", "offpeak", 0, 0, -1, -1.0}, "Off Peak: -1% (0 / -1)"},
        {{"Peak", "peak", 0, 1234, -1, -1.0}, "Peak: -1% (1,234 / -1)"},
        {{"Peak", "peak", 0, 1, 8, 12.5}, "Peak: 13% (1 / 8)"}, // ties away from zero
        {{"Peak", "peak", 0, 0, 1, 1234.5}, "Peak: 1,235% (0 / 1)"},
        {{"Peak", "peak", 0, (std::int64_t{1} << 32) + 5, 100, 1e9},
         "Peak: 1,000,000,000% (5 / 100)"},
        {{"Peak", "peak", 0, 0, 1, -0.4}, "Peak: 0% (0 / 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hint);
        EXPECT_EQ(trayHintText(c.record), c.hint);
    }

    setPeak(45.0, 11250, 25000);
    writeTrayHint(configuration, usage);
    EXPECT_EQ(test::readFile(configuration.trayHintFile), "Peak: 45% (11,250 / 25,000)");
}

TEST_F(GenerateTrayTest, WithoutTheCurrentRecordNothingIsTouched) {
    test::writeFile(configuration.trayIconFile, "old icon");
    test::writeFile(configuration.trayIconsFile, "old icons");
    test::writeFile(configuration.trayHintFile, "old hint");
    usage.isOffpeak = true; // only a peak record
    usage.traffic = {Ttraffic{"Peak", "peak", 0, 1, 2, 50.0}};
    try {
        generateTray(configuration, usage);
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Failed to find current traffic data");
    }
    EXPECT_EQ(test::readFile(configuration.trayIconFile), "old icon");
    EXPECT_EQ(test::readFile(configuration.trayIconsFile), "old icons");
    EXPECT_EQ(test::readFile(configuration.trayHintFile), "old hint");
}

// Every picture of the notification area's icon file, as Qt's reader gives them.
std::vector<QImage> readIcons(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    std::vector<QImage> images;
    do {
        const QImage image = reader.read();
        if (image.isNull())
            break;
        images.push_back(image.convertToFormat(QImage::Format_ARGB32));
    } while (reader.jumpToNextImage());
    return images;
}

// Green pixels (the wedge, smoothed edges left out) in each quarter around the centre:
// top right, bottom right, bottom left, top left.
std::array<int, 4> greenQuarters(const QImage& image) {
    std::array<int, 4> quarters{};
    const int half = image.width() / 2;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == Green)
                ++quarters[x >= half ? (y < half ? 0 : 1) : (y >= half ? 2 : 3)];
    return quarters;
}

TEST_F(GenerateTrayTest, TheAreasIconHoldsEverySizeDrawnFromTheSameGeometry) {
    setPeak(25.0);
    generateTray(configuration, usage);
    const std::vector<QImage> images = readIcons(configuration.trayIconsFile);
    ASSERT_EQ(images.size(), std::size(TrayIconSizes));
    for (std::size_t i = 0; i < images.size(); ++i) {
        const QImage& image = images[i];
        const int size = TrayIconSizes[i];
        SCOPED_TRACE(size);
        ASSERT_EQ(image.size(), QSize(size, size));
        // Transparent corners, a quarter wedge from twelve o'clock clockwise, drawn at this size
        // (a scaled 16-pixel picture would have no more green rows than the 16-pixel one).
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size - 1, size - 1)), 0);
        const std::array<int, 4> green = greenQuarters(image);
        EXPECT_GT(green[0], size * size / 16);
        // The 16-pixel wedge's edge pixels follow the platform's rules (tested above).
        if (size != TrayIconSize) {
            EXPECT_EQ(green[1] + green[2] + green[3], 0);
        }
    }
    // The 16-pixel picture is the status bars' icon, pixel for pixel.
    const QImage startbar = QImage(QString::fromStdString(configuration.trayIconFile), "ico")
                                .convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(images.front(), startbar);
    // Every size side by side on a panel's grey, for a person to look at.
    QImage strip(16 + 22 + 24 + 32 + 48 + 64 + 7 * 8, 80, QImage::Format_RGB32);
    strip.fill(QColor(60, 60, 60));
    {
        QPainter painter(&strip);
        int x = 8;
        for (const QImage& image : images) {
            painter.drawImage(x, 8, image);
            x += image.width() + 8;
        }
    }
    std::filesystem::create_directories(VANTLE_ARTEFACTS);
    strip.scaled(strip.size() * 2).save(VANTLE_ARTEFACTS "/tray-sizes.png");
}

TEST_F(GenerateTrayTest, TheNeutralMeterShowsNoShare) {
    for (const int size : TrayIconSizes) {
        SCOPED_TRACE(size);
        const QImage image = drawNeutralMeter(size).convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(greenQuarters(image), (std::array<int, 4>{}));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
    }
}

TEST_F(GenerateTrayTest, GenerateWritesBothFilesOrFailsWithThePath) {
    setPeak(45.0, 11250, 25000);
    generateTray(configuration, usage);
    EXPECT_FALSE(QImage(QString::fromStdString(configuration.trayIconFile)).isNull());
    EXPECT_EQ(test::readFile(configuration.trayHintFile), "Peak: 45% (11,250 / 25,000)");

    test::TempDir dir;
    test::writeFile(dir.path() + "file", "");
    const std::string icon = dir.path() + "file/startbar.ico"; // its folder is a file
    try {
        generateTray(usage, icon, dir.path() + "startbar.txt");
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("Cannot create file \"" + icon + "\". "));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "startbar.txt"));
}
