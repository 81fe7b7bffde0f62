// The wait window: text and width rules, progress, placement over its owner, cursors, the
// frames compiled into the program and their play order.
#include "ui/wait_form.h"

#include "lib/runtime/Error.h"
#include "support/TestSupport.h"
#include "ui/QtPrinters.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace vantle;

namespace {

TwaitFrm* waitWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == "waitFrm")
            return qobject_cast<TwaitFrm*>(widget);
    return nullptr;
}

// Every test leaves the window hidden and the cursor reset, as a caller must.
class WaitForm : public testing::Test {
protected:
    void TearDown() override { HideWait(); }

    TwaitFrm& shown(const QString& text, QWidget* owner = nullptr) {
        ShowWaitText(owner, text);
        TwaitFrm* window = waitWindow();
        if (window == nullptr)
            throw Error("no wait window");
        return *window;
    }
    template <class T> static T& child(TwaitFrm& window, const char* name) {
        T* found = window.findChild<T*>(QLatin1String(name));
        if (found == nullptr)
            throw Error(std::string("no child ") + name);
        return *found;
    }
};

int opaquePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 127;
    return count;
}

// Must run before anything shows the window; ctest gives each test its own process.
TEST_F(WaitForm, HideBeforeTheFirstShowOnlyResetsTheCursor) {
    if (waitWindow() != nullptr)
        GTEST_SKIP() << "the window already exists in this process";
    QApplication::setOverrideCursor(Qt::WaitCursor);
    HideWait();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(waitWindow(), nullptr);
}

TEST_F(WaitForm, WindowAndItsParts) {
    TwaitFrm& window = shown("Verifying username and password");
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Please Wait...");
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(window.size(), QSize(300, 40));
    EXPECT_EQ(child<QLabel>(window, "waitImg").geometry(), QRect(4, 4, 32, 32));
    EXPECT_EQ(child<QLabel>(window, "blurb").geometry(), QRect(40, 3, 257, 34));
    EXPECT_TRUE(child<QProgressBar>(window, "progressBar").isHidden());

    // A one-pixel silver frame on white.
    const QImage picture = window.grab().toImage();
    EXPECT_EQ(picture.pixel(0, 0), qRgb(192, 192, 192));
    EXPECT_EQ(picture.pixel(299, 39), qRgb(192, 192, 192));
    EXPECT_EQ(picture.pixel(1, 1), qRgb(255, 255, 255));
}

TEST_F(WaitForm, TextRules) {
    struct Case {
        const char* text;
        const char* shown;
    };
    const Case cases[] = {
        {"Verifying username and password", "Verifying username and password..."},
        {"Already waiting...", "Already waiting..."},
        {"Nearly..", "Nearly....."},
        {"", "..."},
        {"Line one\r\nLine two", "Line one\nLine two"},
        {"Trailing break\r", "Trailing break\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TwaitFrm& window = shown(c.text);
        EXPECT_EQ(child<QLabel>(window, "blurb").text(), c.shown);
    }
}

TEST_F(WaitForm, WidthFollowsTheLongestLineNeverBelowTheDesign) {
    TwaitFrm& window = shown("Short");
    const QFontMetrics metrics(child<QLabel>(window, "blurb").font());
    const QString longLine = QString("A rather long line of text to wait upon ").repeated(3);
    // The line plus the picture, the text's right margin and some slack.
    const int longWidth = metrics.horizontalAdvance(longLine + "...") + 32 + 3 + 12;
    ASSERT_GT(longWidth, 300);
    struct Case {
        QString text;
        int width;
    };
    const Case cases[] = {
        {longLine, longWidth},
        {"Short again", 300},
        {"Two lines\r\n" + longLine, metrics.horizontalAdvance(longLine) + 47},
        {longLine + "\r\nTwo lines", metrics.horizontalAdvance(longLine) + 47},
    };
    const QPoint place = window.pos();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        ShowWaitText(nullptr, c.text);
        EXPECT_EQ(window.width(), c.width);
        EXPECT_EQ(window.height(), 40);
        // Changes while showing apply in place.
        EXPECT_EQ(window.pos(), place);
        EXPECT_EQ(child<QLabel>(window, "blurb").width(), c.width - 43);
    }
}

TEST_F(WaitForm, ProgressClampsAndRoundsHalfToEven) {
    struct Case {
        double percent;
        int shown;
    };
    const Case cases[] = {
        {-5, 0},    {150, 100}, {42.5, 42},
        {43.5, 44}, {0.5, 0},   {99.5, 100},
        {99.4, 99}, {12.7, 13}, {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        ShowWait("Working", nullptr, true, c.percent);
        TwaitFrm& window = *waitWindow();
        EXPECT_EQ(child<QProgressBar>(window, "progressBar").value(), c.shown);
    }
}

TEST_F(WaitForm, ProgressBarSharesTheWindowWithTheText) {
    ShowWait("Working", nullptr, true, 30);
    TwaitFrm& window = *waitWindow();
    auto& bar = child<QProgressBar>(window, "progressBar");
    auto& blurb = child<QLabel>(window, "blurb");
    EXPECT_TRUE(bar.isVisible());
    EXPECT_EQ(bar.geometry(), QRect(41, 28, 256, 8));
    EXPECT_EQ(bar.minimum(), 0);
    EXPECT_EQ(bar.maximum(), 100);
    EXPECT_EQ(blurb.geometry(), QRect(40, 3, 257, 23));

    // A wider window stretches the bar with it.
    const QString longLine = QString("A rather long line of text to wait upon ").repeated(3);
    ShowWait(longLine, nullptr, true, 30);
    EXPECT_EQ(bar.geometry(), QRect(41, 28, window.width() - 44, 8));

    ShowWaitText(nullptr, "Working");
    EXPECT_TRUE(bar.isHidden());
    EXPECT_EQ(bar.value(), 0);
    EXPECT_EQ(blurb.geometry(), QRect(40, 3, 257, 34));
}

TEST_F(WaitForm, CentredOnTheScreenWithoutAVisibleOwner) {
    const QRect screen = QApplication::primaryScreen()->geometry();
    QWidget hiddenOwner;
    for (QWidget* owner : {static_cast<QWidget*>(nullptr), &hiddenOwner}) {
        SCOPED_TRACE(owner == nullptr ? "no owner" : "hidden owner");
        TwaitFrm& window = shown("Working", owner);
        EXPECT_EQ(window.pos(), QPoint(screen.left() + screen.width() / 2 - 150,
                                       screen.top() + screen.height() / 2 - 20));
        EXPECT_TRUE(hiddenOwner.isEnabled());
        HideWait();
    }
}

TEST_F(WaitForm, OwnerIsDisabledWhileTheWindowShowsOverIt) {
    QWidget owner;
    owner.setGeometry(100, 120, 401, 301);
    owner.setCursor(Qt::PointingHandCursor);
    owner.show();
    TwaitFrm& window = shown("Working", &owner);
    const QRect frame = owner.frameGeometry();
    EXPECT_EQ(window.pos(), QPoint(frame.left() + frame.width() / 2 - 150,
                                   frame.top() + frame.height() / 2 - 20));
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_EQ(owner.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    // Kept above the owner by the desktop, even a modal owner it keeps above everything else.
    ASSERT_NE(window.windowHandle(), nullptr);
    EXPECT_EQ(window.windowHandle()->transientParent(), owner.windowHandle());

    HideWait();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(owner.isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(window.windowHandle()->transientParent(), nullptr);
}

// The Cancel of a job the caller can stop: it widens the window, answers a click or Esc once,
// says so, and is gone with the window; a plain wait afterwards has none.
TEST_F(WaitForm, CancelCallsBackOnceAndLeavesWithTheWindow) {
    QWidget owner;
    owner.setGeometry(100, 120, 401, 301);
    owner.show();
    int cancels = 0;
    ShowWaitCancellable(&owner, "Verifying username and password", [&cancels] { ++cancels; });
    TwaitFrm& window = *waitWindow();
    auto& cancel = child<QPushButton>(window, "cancelBtn");
    EXPECT_TRUE(cancel.isVisible());
    EXPECT_EQ(cancel.text(), "Cancel");
    EXPECT_TRUE(cancel.isEnabled());
    EXPECT_GT(window.width(), 300);
    EXPECT_TRUE(window.geometry().contains(cancel.geometry().translated(window.pos())));
    EXPECT_FALSE(cancel.geometry().intersects(child<QLabel>(window, "blurb").geometry()));

    const auto escape = [&window] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&window, &press);
    };
    escape();
    cancel.click(); // a second press changes nothing
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(cancel.isEnabled());
    EXPECT_EQ(child<QLabel>(window, "blurb").text(), "Cancelling...");
    EXPECT_TRUE(window.isVisible()) << "the caller hides it once the job has stopped";

    HideWait();
    EXPECT_FALSE(window.isVisible());
    shown("Working", &owner);
    EXPECT_FALSE(cancel.isVisible());
    escape();
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(window.width(), 300);
}

TEST_F(WaitForm, OwnerGoneBeforeHideWait) {
    auto owner = std::make_unique<QWidget>();
    owner->show();
    shown("Working", owner.get());
    owner.reset();
    HideWait();
    EXPECT_FALSE(waitWindow()->isVisible());
}

TEST_F(WaitForm, RepeatedShowsKeepOneHourglass) {
    shown("One");
    shown("Two");
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    HideWait();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WaitForm, FramesInTheProgramAreAGrowingTealStar) {
    const std::vector<QImage> frames = TwaitFrm::LoadFrames();
    EXPECT_TRUE(QFile::exists(":/wait/W16"));
    EXPECT_FALSE(QFile::exists(":/wait/W17"));
    ASSERT_EQ(frames.size(), 30u);
    int previousCoverage = 0;
    for (std::size_t i = 0; i < 16; ++i) {
        SCOPED_TRACE(i + 1);
        const QImage& frame = frames[i];
        EXPECT_EQ(frame.size(), QSize(32, 32));
        EXPECT_TRUE(frame.hasAlphaChannel());
        EXPECT_EQ(qAlpha(frame.pixel(0, 0)), 0);
        const QColor centre = frame.pixelColor(16, 17);
        EXPECT_EQ(centre.alpha(), 255);
        EXPECT_LT(centre.red(), centre.green() - 40);
        EXPECT_LT(std::abs(centre.green() - centre.blue()), 40);
        const int coverage = opaquePixels(frame);
        EXPECT_GT(coverage, previousCoverage);
        previousCoverage = coverage;
    }
    // Then back down, W15 to W2, without repeating either end.
    for (std::size_t i = 16; i < 30; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i], frames[30 - i]);
    }
}

TEST(WaitFrames, FrameListEndsAtTheFirstMissingOrUnreadablePicture) {
    test::TempDir folder;
    const auto picture = [](int size) {
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        return image;
    };
    struct Case {
        const char* what;
        std::vector<int> sizes; // 0: an unreadable file
        std::vector<int> played;
    };
    const Case cases[] = {
        {"one", {10}, {10}},
        {"two", {10, 11}, {10, 11}},
        {"four", {10, 11, 12, 13}, {10, 11, 12, 13, 12, 11}},
        {"unreadable third", {10, 11, 0, 13}, {10, 11}},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString dir = QString::fromStdString(folder.file("round" + std::to_string(++round)));
        QDir().mkpath(dir);
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            const QString path = dir + QString("/W%1").arg(i + 1);
            if (c.sizes[i] == 0)
                test::writeFile(path.toStdString(), "not a picture");
            else
                ASSERT_TRUE(picture(c.sizes[i]).save(path, "PNG"));
        }
        std::vector<int> played;
        for (const QImage& frame : TwaitFrm::LoadFrames(dir))
            played.push_back(frame.width());
        EXPECT_EQ(played, c.played);
    }
    try {
        TwaitFrm::LoadFrames(QString::fromStdString(folder.path()));
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Failed to load wait_form images");
    }
}

TEST_F(WaitForm, AnimationWalksTheListAndWraps) {
    TwaitFrm& window = shown("Working");
    auto& timer = child<QTimer>(window, "animTimer");
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), 100);
    ASSERT_EQ(window.frameIndex(), 0);

    const auto drawn = [&] {
        return child<QLabel>(window, "waitImg")
            .pixmap()
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const auto onWhite = [&](int index) {
        QImage expected(32, 32, QImage::Format_RGB32);
        expected.fill(Qt::white);
        QPainter painter(&expected);
        painter.drawImage(0, 0, window.frames()[static_cast<std::size_t>(index)]);
        return expected;
    };
    EXPECT_EQ(drawn(), onWhite(0));
    for (int step = 1; step < 30; ++step)
        window.animTimerTimer();
    EXPECT_EQ(window.frameIndex(), 29);
    EXPECT_EQ(drawn(), onWhite(29));
    window.animTimerTimer();
    EXPECT_EQ(window.frameIndex(), 0);
    EXPECT_TRUE(timer.isActive());

    // The real timer steps on its own.
    QEventLoop loop;
    QTimer::singleShot(350, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_GE(window.frameIndex(), 1);

    HideWait();
    EXPECT_FALSE(timer.isActive());
}

TEST_F(WaitForm, HiddenDuringAStepStaysStill) {
    TwaitFrm& window = shown("Working");
    // The step pumps events; this one hides the window under it.
    QTimer::singleShot(0, [] { HideWait(); });
    window.animTimerTimer();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(child<QTimer>(window, "animTimer").isActive());
}

} // namespace
