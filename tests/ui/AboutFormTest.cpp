// The about window: its labels and picture, closing with Escape and telling the shell, and the
// link handed to the desktop's URL handler.
#include "ui/about_form.h"

#include "platform/UrlHandlerStandIn.h"
#include "ui/QtPrinters.h"
#include "ui/VCLutils.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace vantle;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

QLabel& label(QWidget& window, const char* name) {
    QLabel* found = window.findChild<QLabel*>(QLatin1String(name));
    if (found == nullptr)
        throw std::runtime_error(std::string("no label ") + name);
    return *found;
}

// The window frees itself when it closes; one left open goes at the end of the test.
class AboutForm : public testing::Test {
protected:
    QPointer<TaboutFrm> window = new TaboutFrm;

    void TearDown() override { delete window.data(); }

    void shown() {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
};

} // namespace

TEST_F(AboutForm, WindowAndItsParts) {
    EXPECT_EQ(label(*window, "verL").text(), "version");
    delete window.data();
    window = new TaboutFrm(QStringLiteral("20240102.030405"));
    EXPECT_EQ(window->windowTitle(), "vantle - About");
    EXPECT_EQ(label(*window, "Label1").text(), "vantle");
    EXPECT_TRUE(label(*window, "Label1").font().bold());
    EXPECT_EQ(label(*window, "Label1").font().pixelSize(), 16);
    EXPECT_EQ(label(*window, "Label2").text(), "iinet usage meter");
    EXPECT_EQ(label(*window, "verL").text(), "v20240102.030405");
    EXPECT_EQ(label(*window, "urlL").text(), "www.vantle.example/vantle");
    EXPECT_EQ(TaboutFrm::productPageUrl(), "http://www.vantle.example/vantle");
    EXPECT_EQ(label(*window, "urlL").cursor().shape(), Qt::PointingHandCursor);

    QLabel& image = label(*window, "Image1");
    EXPECT_EQ(image.geometry(), QRect(8, 33, 256, 256));
    const QImage picture = image.pixmap().toImage();
    ASSERT_EQ(picture.size(), QSize(256, 256));
    EXPECT_FALSE(picture.hasAlphaChannel());
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::white));
    const QColor middle = picture.pixelColor(128, 128);
    EXPECT_GT(middle.green(), middle.red() + 40);
    EXPECT_GT(middle.green(), middle.blue() + 40);

    // Everything inside, with the padding; the design size at the least.
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_GE(window->width(), 272);
    EXPECT_GE(window->height(), 321);
    EXPECT_FALSE(label(*window, "verL").geometry().intersects(label(*window, "urlL").geometry()));
    for (const char* name : {"Label1", "Label2", "Image1", "verL", "urlL"}) {
        SCOPED_TRACE(name);
        const QRect inner = window->rect().adjusted(8, 8, -8, -8);
        EXPECT_TRUE(inner.contains(label(*window, name).geometry()));
    }
}

TEST_F(AboutForm, EscapeClosesItAndTellsTheShellOnce) {
    int closed = 0;
    window->onClosed = [&] { ++closed; };
    shown();

    QTest::keyClick(window, Qt::Key_A);
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(closed, 0);

    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(closed, 1);
    ASSERT_FALSE(window.isNull());
    EXPECT_FALSE(window->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull()) << "the window frees itself";
}

TEST_F(AboutForm, AFailingCloseHandlerStillCloses) {
    window->onClosed = [] { throw std::runtime_error("registry gone"); };
    shown();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(AboutForm, TheLinkOpensTheProductPage) {
    test::UrlHandlerStandIn handlers;
    handlers.add("xdg-open");
    shown();
    QTest::mouseClick(&label(*window, "urlL"), Qt::LeftButton);
    const auto received = handlers.received("xdg-open");
    ASSERT_TRUE(received.has_value());
    EXPECT_THAT(*received, ElementsAre("http://www.vantle.example/vantle"));
}

TEST_F(AboutForm, ALinkThatCannotOpenIsShownAndTheWindowStays) {
    test::UrlHandlerStandIn nothing;
    shown();
    VCLutils::setNextResult(firstButtonResult);
    QTest::mouseClick(&label(*window, "urlL"), Qt::LeftButton);
    const auto shownBox = VCLutils::lastMessage();
    ASSERT_TRUE(shownBox.has_value());
    EXPECT_EQ(shownBox->caption, "vantle - Error");
    EXPECT_THAT(shownBox->text.toStdString(), HasSubstr("neither xdg-open nor gio"));
    EXPECT_TRUE(window->isVisible());
}
