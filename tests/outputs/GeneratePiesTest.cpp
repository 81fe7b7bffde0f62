// The pie pictures: the PNG's format, where the slice and the ring are, the rounded unclamped
// label, which types get a picture, and drawing on a worker thread.
#include "outputs/generate_pies.h"

#include "config/configuration.h"
#include "outputs/generate_json.h"
#include "outputs/generate_tray.h"
#include "outputs/pieFiles.h"
#include "outputs/textHelpers.h"
#include "support/TestSupport.h"
#include "usage/iinet.h"

#include <QImage>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <exception>
#include <filesystem>
#include <limits>
#include <numbers>
#include <set>
#include <thread>

using namespace vantle;

namespace {

constexpr QRgb SliceFill = qRgb(166, 202, 240);
constexpr QRgb White = qRgb(255, 255, 255);
constexpr QRgb Grey = qRgb(128, 128, 128);
constexpr QRgb Black = qRgb(0, 0, 0);

Ttraffic metered(const std::string& classification, double percent, std::int64_t quotaMB = 1000) {
    return Ttraffic{classification, classification, 0, 0, quotaMB, percent};
}

// The pixel at clock angle degrees (clockwise from twelve) and radius around the centre.
QRgb at(const QImage& image, double degrees, double radius) {
    const double a = degrees * std::numbers::pi / 180;
    return image.pixel(static_cast<int>(80 + radius * std::sin(a)),
                       static_cast<int>(80 - radius * std::cos(a)));
}

void keepArtefact(double percent, const std::string& name) {
    std::filesystem::create_directories(VANTLE_ARTEFACTS);
    pieImage(percent).save(
        QString::fromStdString(std::string(VANTLE_ARTEFACTS "/pie-") + name + ".png"));
}

} // namespace

TEST(GeneratePiesTest, PictureIsA160PixelRgbPngWithoutAlpha) {
    test::TempDir dir;
    writePieImage(dir.path(), "peak", 45.0);
    const std::string png = test::readFile(dir.path() + "peak.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\xa0\0\0\0\xa0", 8)); // 160 x 160
    EXPECT_EQ(png[24], 8);                                                // bits per channel
    EXPECT_EQ(png[25], 2);                                                // colour type RGB

    const QImage image(QString::fromStdString(dir.path() + "peak.png"));
    EXPECT_EQ(image.size(), QSize(160, 160));
    EXPECT_FALSE(image.hasAlphaChannel());
    EXPECT_EQ(image.pixel(0, 0), White);
}

TEST(GeneratePiesTest, SliceRunsClockwiseFromTwelveThroughTheShare) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double percent;
        double sliceTo; // clock angle the slice reaches
    };
    const Case cases[] = {
        {-5, 0},     {0, 0},     {0.4, 0},   {0.5, 0},   {25, 90},     {50, 180}, {75, 270},
        {99, 356.4}, {100, 360}, {150, 360}, {1e9, 360}, {1e300, 360}, {nan, 0},  {inf, 360},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        const QImage image = pieImage(c.percent);
        ASSERT_EQ(image.size(), QSize(160, 160));
        // Inside the ring, above and below the label's band, clear of the slice's edges.
        for (const double degrees : {25, 65, 115, 155, 205, 245, 295, 335}) {
            SCOPED_TRACE(degrees);
            EXPECT_EQ(at(image, degrees, 60), degrees < c.sliceTo ? SliceFill : White);
        }
        // The slice's outline lies outside the ring, which the slice covers.
        EXPECT_EQ(at(image, 200, 67.5), c.sliceTo > 200 ? SliceFill : Grey);
        EXPECT_EQ(at(image, 200, 75.5), c.sliceTo > 200 ? Black : White);
        EXPECT_EQ(image.pixel(0, 0), White);
    }
}

TEST(GeneratePiesTest, ThinSliceFromJustAboveHalfAPercent) {
    // 0.5 rounds to 0 (ties to even) and draws no slice; 0.6 draws 2.16 degrees.
    EXPECT_EQ(pieImage(0.5).pixel(80, 4), White);
    EXPECT_NE(pieImage(0.6).pixel(80, 4), White);
    EXPECT_EQ(pieImage(0.6).pixel(70, 4), White);
}

TEST(GeneratePiesTest, LabelIsTheRoundedShareUnclamped) {
    // Above 100 the disc is full, below 0.5 empty, so equal pictures mean equal labels.
    EXPECT_EQ(pieImage(150.4), pieImage(150));
    EXPECT_EQ(pieImage(150.5), pieImage(150)); // ties to even
    EXPECT_EQ(pieImage(151.5), pieImage(152));
    EXPECT_NE(pieImage(150.6), pieImage(150));
    EXPECT_NE(pieImage(150), pieImage(100));
    EXPECT_EQ(pieImage(-0.4), pieImage(0.4)); // "0%", not "-0%"
    EXPECT_EQ(pieImage(0.5), pieImage(0));
    EXPECT_NE(pieImage(-0.6), pieImage(0));

    // Black text in a white halo across the middle.
    const QImage image = pieImage(45);
    int black = 0;
    for (int y = 60; y < 100; ++y)
        for (int x = 40; x < 120; ++x)
            black += image.pixel(x, y) == Black;
    EXPECT_GT(black, 50);
}

TEST(GeneratePiesTest, OnlyTypesWithAQuotaGetAPicture) {
    test::ScopedUserFolders home;
    Tconfiguration configuration;
    Tiinet usage(configuration);
    usage.traffic = {metered("peak", 45), metered("offpeak", 12), metered("freezone", -1, -1),
                     metered("bonus", 0, 0)};
    const std::string html = configuration.htmlFolder;
    test::writeFile(html + "freezone.png", "old");
    generatePies(configuration, usage);

    const auto read = [&html](const std::string& name) {
        return QImage(QString::fromStdString(html + name)).convertToFormat(QImage::Format_RGB888);
    };
    EXPECT_EQ(read("peak.png"), pieImage(45));
    EXPECT_EQ(read("offpeak.png"), pieImage(12));
    // A type without a quota keeps the picture it had.
    EXPECT_EQ(test::readFile(html + "freezone.png"), "old");
    EXPECT_FALSE(std::filesystem::exists(html + "bonus.png"));

    test::TempDir out;
    generatePies(usage, out.path() + "html/");
    EXPECT_TRUE(std::filesystem::exists(out.path() + "html/peak.png"));
    EXPECT_TRUE(std::filesystem::exists(out.path() + "html/offpeak.png"));

    for (const auto& [percent, name] : {std::pair{0.4, "0"},
                                        {1.0, "1"},
                                        {45.0, "45"},
                                        {99.0, "99"},
                                        {100.0, "100"},
                                        {150.0, "150"}})
        keepArtefact(percent, name);
}

// Classifications come from the provider: whatever they say, a picture lands in the html folder
// under a name of its own, never over the page's files, and the status document points at it.
TEST(GeneratePiesTest, EveryClassificationGetsASafeNameOfItsOwn) {
    const std::string longName(300, 'a');
    struct Case {
        std::string classification;
        const char* file;
    };
    const Case cases[] = {
        {"peak", "peak.png"},
        {"off_peak-2", "off_peak-2.png"},
        {std::string(64, 'x'), nullptr}, // the longest kept: its own name
        {"warning", "type.4.png"},       // the page's picture
        {"status", "type.5.png"},        // the page itself
        {longName, "type.6.png"},
        {"../x", "type.7.png"},
        {"Peak", "type.8.png"},
        {"", "type.9.png"},
        {"type.1", "type.10.png"},
        {"a/b", "type.11.png"},
    };
    test::ScopedUserFolders home;
    Tconfiguration configuration;
    Tiinet usage(configuration);
    for (const Case& c : cases)
        usage.traffic.push_back(metered(c.classification, 50));
    const std::string html = configuration.htmlFolder;
    const std::string page = test::readFile(html + "warning.png");
    generatePies(configuration, usage);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string file = cases[i].file ? cases[i].file : cases[i].classification + ".png";
        SCOPED_TRACE(file);
        EXPECT_EQ(pieFileName(cases[i].classification, i), file);
        EXPECT_TRUE(isPieFileName(file));
        EXPECT_TRUE(std::filesystem::exists(html + file));
    }
    EXPECT_EQ(test::readFile(html + "warning.png"), page);
    EXPECT_FALSE(std::filesystem::exists(configuration.dataFolder + "x.png"));
    EXPECT_FALSE(std::filesystem::exists(html + "a/b.png"));
    const std::string json = statusDocument(configuration, usage, html);
    EXPECT_THAT(json, testing::HasSubstr(jsonEscape(fileUrl(html + "type.7.png"))));
    EXPECT_THAT(json, testing::Not(testing::HasSubstr("..%2Fx")));
}

// Pictures of types the document no longer lists go; the page's files and anything that is not
// a picture stay.
TEST(GeneratePiesTest, PicturesOfTypesNoLongerListedAreRemoved) {
    test::ScopedUserFolders home;
    Tconfiguration configuration;
    Tiinet usage(configuration);
    const std::string html = configuration.htmlFolder;
    usage.traffic = {metered("peak", 45), metered("bonus", 5), metered("../x", 7)};
    generatePies(configuration, usage);
    ASSERT_TRUE(std::filesystem::exists(html + "bonus.png"));
    ASSERT_TRUE(std::filesystem::exists(html + "type.3.png"));
    test::writeFile(html + "notes.txt", "mine");

    usage.traffic = {metered("peak", 46), metered("freezone", -1, -1)};
    generatePies(configuration, usage);
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(html))
        files.insert(entry.path().filename().string());
    EXPECT_EQ(files,
              (std::set<std::string>{"notes.txt", "peak.png", "status.html", "warning.png"}));
}

TEST(GeneratePiesTest, WorkerThreadDrawsTheSameFiles) {
    test::ScopedUserFolders home;
    Tconfiguration configuration;
    Tiinet usage(configuration);
    usage.isOffpeak = false;
    usage.traffic = {metered("peak", 45), metered("offpeak", 12), metered("extra", 150)};
    test::TempDir here;
    test::TempDir worker;
    const auto outputs = [&usage](const std::string& folder) {
        generateTray(usage, folder + "startbar.ico", folder + "startbar.txt");
        generatePies(usage, folder + "html/");
    };
    outputs(here.path());
    std::exception_ptr failure;
    std::thread thread([&] {
        try {
            outputs(worker.path());
        } catch (...) {
            failure = std::current_exception();
        }
    });
    thread.join();
    ASSERT_FALSE(failure);
    for (const char* file :
         {"startbar.ico", "startbar.txt", "html/peak.png", "html/offpeak.png", "html/extra.png"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(test::readFile(worker.path() + file), test::readFile(here.path() + file));
    }
}
