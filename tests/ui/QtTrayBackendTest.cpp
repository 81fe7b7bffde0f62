// The notification area over QSystemTrayIcon: requests become the icon's state, activations
// become callback messages (offscreen: no area shows it, the mapping is all there is to see).
#include "ui/qtTrayBackend.h"

#include "ui/sysTray.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QImage>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTextDocument>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace vantle {
namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;

// Collects the window messages posted to it.
class Window : public QObject {
public:
    struct Message {
        std::uint32_t message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
        friend bool operator==(const Message&, const Message&) = default;
    };
    std::vector<Message> received;

    std::vector<std::intptr_t> delivered() {
        QCoreApplication::sendPostedEvents(this);
        std::vector<std::intptr_t> notifications;
        for (const Message& m : received)
            notifications.push_back(m.lParam);
        received.clear();
        return notifications;
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() != TwindowMessage::eventType())
            return QObject::event(e);
        const auto& m = static_cast<const TwindowMessage&>(*e);
        received.push_back({m.message, m.wParam, m.lParam});
        return true;
    }
};

QIcon solidIcon(QColor color) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    return QIcon(QPixmap::fromImage(image));
}

class QtTrayBackendTest : public testing::Test {
protected:
    QtTrayBackendTest() {
        record.hWnd = &window;
        record.uID = 7;
        record.uCallbackMessage = WM_TRAYCALLBACK;
        record.hIcon = solidIcon(Qt::green);
        record.szTip = QStringLiteral("tip");
    }

    bool notify(std::uint32_t message, std::uint32_t flags) {
        record.uFlags = flags;
        return backend.notifyIcon(message, record);
    }

    // The XEmbed icon, made by the first NIM_ADD.
    QSystemTrayIcon& icon() { return *backend.xembedIcon(); }

    Window window;
    // Without a bus the XEmbed icon is the only road, taken at once.
    TqtTrayBackend backend{QDBusConnection(QStringLiteral("none")), std::chrono::milliseconds(0)};
    TnotifyIconData record;
};

TEST_F(QtTrayBackendTest, ActivationsBecomeMouseNotifications) {
    ASSERT_TRUE(notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP));
    struct Case {
        QSystemTrayIcon::ActivationReason reason;
        std::vector<std::intptr_t> notifications;
    };
    const Case cases[] = {
        {QSystemTrayIcon::Trigger, {WM_LBUTTONDOWN, WM_LBUTTONUP}},
        {QSystemTrayIcon::DoubleClick, {WM_LBUTTONDBLCLK}},
        {QSystemTrayIcon::Context, {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU}},
        {QSystemTrayIcon::MiddleClick, {WM_MBUTTONDOWN, WM_MBUTTONUP}},
        {QSystemTrayIcon::Unknown, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.reason));
        emit icon().activated(c.reason);
        EXPECT_THAT(window.delivered(), ElementsAreArray(c.notifications));
    }
    emit icon().messageClicked();
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_THAT(window.received,
                ElementsAre(Window::Message{WM_TRAYCALLBACK, 7, NIN_BALLOONUSERCLICK}));
    window.received.clear();

    // Once deleted the icon reports nothing.
    ASSERT_TRUE(notify(NIM_DELETE, 0));
    emit icon().activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.delivered().empty());
}

TEST_F(QtTrayBackendTest, RequestsSetTheIconsPictureTipAndVisibility) {
    EXPECT_FALSE(notify(NIM_MODIFY, NIF_TIP));
    EXPECT_FALSE(notify(NIM_SETVERSION, 0));
    EXPECT_FALSE(notify(NIM_DELETE, 0));

    ASSERT_TRUE(notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_FALSE(notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_TRUE(icon().isVisible());
    EXPECT_EQ(icon().toolTip(), QStringLiteral("tip"));
    EXPECT_EQ(icon().icon().cacheKey(), record.hIcon.cacheKey());
    EXPECT_TRUE(notify(NIM_SETVERSION, 0));

    // Only what the flags name changes.
    record.szTip = QStringLiteral("new tip");
    record.hIcon = solidIcon(Qt::blue);
    ASSERT_TRUE(notify(NIM_MODIFY, NIF_TIP));
    EXPECT_EQ(icon().toolTip(), QStringLiteral("new tip"));
    EXPECT_NE(icon().icon().cacheKey(), record.hIcon.cacheKey());
    ASSERT_TRUE(notify(NIM_MODIFY, NIF_ICON));
    EXPECT_EQ(icon().icon().cacheKey(), record.hIcon.cacheKey());

    ASSERT_TRUE(notify(NIM_DELETE, 0));
    EXPECT_FALSE(icon().isVisible());
}

// The hint carries the provider's names; where Qt would render the tip as rich text (the XEmbed
// tool tip), it must still read as written, and a plain hint goes out unchanged.
TEST_F(QtTrayBackendTest, ProviderTextInTheTipReadsAsWritten) {
    ASSERT_TRUE(notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP));
    const QString tips[] = {
        "Peak: 45% (11,250 / 25,000)",
        "<b>Bonus</b>: 5% (1 / 20)",
        "<img src=\"file:///etc/x.png\">: 1% (0 / 1)",
        "<table><tr><td>x</td></tr></table>: 2% (1 / 50)",
        "&lt;b&gt;: 3% (1 / 30)",
        "a < b: 4% (2 / 50)",
    };
    for (const QString& tip : tips) {
        SCOPED_TRACE(tip.toStdString());
        record.szTip = tip;
        ASSERT_TRUE(notify(NIM_MODIFY, NIF_TIP));
        // What QToolTip shows: rich text when Qt takes it for markup, else the text itself.
        QString shown = icon().toolTip();
        if (Qt::mightBeRichText(shown)) {
            QTextDocument document;
            document.setHtml(shown);
            shown = document.toPlainText();
        } else {
            EXPECT_EQ(icon().toolTip(), tip);
        }
        EXPECT_EQ(shown, tip);
    }
}

TEST(QtTrayBackendComponentTest, AChangedHintReachesTheToolTipAtOnce) {
    auto backend = std::make_unique<TqtTrayBackend>(QDBusConnection(QStringLiteral("none")),
                                                    std::chrono::milliseconds(0));
    TqtTrayBackend& area = *backend;
    TzintraSysTray tray(std::move(backend));
    tray.SetHint(QStringLiteral("vantle"));
    tray.SetActive(true);
    QSystemTrayIcon& icon = *area.xembedIcon();
    EXPECT_TRUE(icon.isVisible());
    EXPECT_EQ(icon.toolTip(), QStringLiteral("vantle"));

    tray.SetHint(QStringLiteral("Peak 42%|used 420 MB"));
    EXPECT_EQ(icon.toolTip(), QStringLiteral("Peak 42%"));

    // A click on the icon reaches OnClick through the posted notifications.
    int clicks = 0;
    tray.OnClick = [&](TzintraSysTray&, TMouseButton button, TShiftState, int, int) {
        EXPECT_EQ(button, TMouseButton::mbLeft);
        ++clicks;
    };
    emit icon.activated(QSystemTrayIcon::Trigger);
    QCoreApplication::sendPostedEvents(&tray);
    EXPECT_EQ(clicks, 1);

    tray.SetActive(false);
    EXPECT_FALSE(icon.isVisible());
}

} // namespace
} // namespace vantle
