// The program on the notification areas people use, each on an X server and a session bus of
// the test's own: xfce4-panel's StatusNotifierItem host (its menu drawn by the panel, a panel
// that comes late or restarts) and a desktop with no notification area at all, where a small
// notification server written here receives what the program tells the user.
#include "config/configuration.h"
#include "shell/noTrayFallback.h"
#include "support/EventLoop.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "support/XSession.h"
#include "ui/dbusTrayTypes.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QStringList>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

using namespace vantle;
using test::waitFor;
using namespace std::chrono_literals;
using testing::ElementsAre;

namespace {

// The session's bus as the test sees it.
QDBusConnection sessionBus(const std::string& address) {
    static int counter = 0;
    return QDBusConnection::connectToBus(QString::fromStdString(address),
                                         QStringLiteral("tray-test-%1").arg(++counter));
}

// A desktop notification server that records what it is sent.
class TnotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notice {
        QString summary;
        QString body;
        uint replaces;
    };
    std::vector<Notice> received;

public slots:
    uint Notify(const QString&, uint replacesId, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        received.push_back({summary, body, replacesId});
        return 7;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
        vendor = QStringLiteral("test");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("test");
    }
    void CloseNotification(uint) {}
};

class TrayHostsLiveTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    std::unique_ptr<test::XSession> x;
    std::unique_ptr<test::RunningSim> sim;
    QDBusConnection bus{QString()};

    void start(test::XSession::Options options) {
        x = std::make_unique<test::XSession>(options);
        if (!x->started())
            GTEST_SKIP() << x->why();
        bus = sessionBus(x->busAddress());
        ASSERT_TRUE(bus.isConnected());
    }

    // A configured account on a stand-in; without the poll's files, so the program polls at once.
    void configure() {
        sim = std::make_unique<test::RunningSim>(VANTLE_SIM, std::vector<std::string>{"--static"});
        Tconfiguration c;
        test::writeFile(c.configFile, "<conf><providers><iinet.net.au>" +
                                          test::xmlText(sim->urlTemplate) +
                                          "</iinet.net.au></providers></conf>");
        const test::CommandRun run =
            test::runCommand(std::string("printf 'demo\\n' | ") + VANTLECTL +
                             " configure --username demo --domain iinet.net.au 2>&1");
        ASSERT_EQ(run.status, 0) << run.output;
    }

    // The bus name of the program's item, as the watcher lists it; empty when none.
    QString registeredItem() {
        QDBusInterface watcher(QStringLiteral("org.kde.StatusNotifierWatcher"),
                               QStringLiteral("/StatusNotifierWatcher"),
                               QStringLiteral("org.kde.StatusNotifierWatcher"), bus);
        const QStringList items = watcher.property("RegisteredStatusNotifierItems").toStringList();
        for (const QString& item : items)
            if (item.startsWith(QLatin1String("org.kde.StatusNotifierItem-")))
                return item.section(QLatin1Char('/'), 0, 0);
        return {};
    }

    QVariant itemProperty(const QString& item, const char* name) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            item, QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("org.kde.StatusNotifierItem") << QString::fromLatin1(name);
        const QDBusReply<QDBusVariant> reply = bus.call(get);
        return reply.isValid() ? reply.value().variant() : QVariant();
    }

    TsniPixmaps pixmaps(const QString& item) {
        TsniPixmaps result;
        itemProperty(item, "IconPixmap").value<QDBusArgument>() >> result;
        return result;
    }

    QString toolTipTitle(const QString& item) {
        TsniToolTip tip;
        itemProperty(item, "ToolTip").value<QDBusArgument>() >> tip;
        return tip.title;
    }

    void quit(test::SimProcess& program) {
        test::SimProcess ending(VANTLE_PROGRAM, {"-quit"});
        EXPECT_EQ(ending.wait(10s), 0);
        EXPECT_EQ(program.wait(15s), 0) << program.errors();
    }
};

TEST_F(TrayHostsLiveTest, TheItemOffersItsMenuSizesAndClicksToThePanel) {
    registerDbusTrayTypes();
    configure();
    start({.tray = test::XSession::Tray::panel});
    Tconfiguration c;
    test::SimProcess program(VANTLE_PROGRAM, {});
    QString item;
    ASSERT_TRUE(waitFor([&] { return !(item = registeredItem()).isEmpty(); }, 15s))
        << program.errors();

    // The menu is exported where the item says, with the four commands in order.
    EXPECT_EQ(itemProperty(item, "Menu").value<QDBusObjectPath>().path(),
              QStringLiteral("/MenuBar"));
    QDBusMessage layoutCall = QDBusMessage::createMethodCall(
        item, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
        QStringLiteral("GetLayout"));
    layoutCall << 0 << -1 << QStringList();
    const QDBusMessage layoutReply = bus.call(layoutCall);
    ASSERT_EQ(layoutReply.type(), QDBusMessage::ReplyMessage)
        << layoutReply.errorMessage().toStdString();
    TdbusMenuLayout layout;
    layoutReply.arguments().at(1).value<QDBusArgument>() >> layout;
    QStringList entries;
    for (const QVariant& child : layout.children) {
        const TdbusMenuLayout entry = child.value<TdbusMenuLayout>();
        entries << (entry.properties.value(QStringLiteral("type")).toString() == "separator"
                        ? QStringLiteral("-")
                        : entry.properties.value(QStringLiteral("label")).toString());
    }
    EXPECT_EQ(entries, (QStringList{"About vantle", "-", "Open", "Configure", "-", "Exit"}));

    // Panel sizes, not only 16 pixels.
    int largest = 0;
    for (const TsniPixmap& p : pixmaps(item))
        largest = std::max(largest, p.width);
    EXPECT_GE(largest, 22);

    // After the first poll the tip is the hint and the picture is the meter's.
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(c.trayHintFile); }, 15s))
        << program.errors();
    EXPECT_TRUE(waitFor(
        [&] { return toolTipTitle(item).toStdString() == test::readFile(c.trayHintFile); }, 10s))
        << toolTipTitle(item).toStdString();
    const auto green = x->waitForColour(QColor(0, 128, 0));
    ASSERT_TRUE(green) << "no meter in the panel";

    // Activate, as a left click on the panel's icon does: the status window opens.
    bus.call(QDBusMessage::createMethodCall(item, QStringLiteral("/StatusNotifierItem"),
                                            QStringLiteral("org.kde.StatusNotifierItem"),
                                            QStringLiteral("Activate"))
             << 0 << 0);
    EXPECT_FALSE(test::windowNamed("vantle").empty()) << program.errors();
    // The page is drawn (its pies' colour): the window has settled.
    EXPECT_TRUE(x->waitForColour(QColor(166, 202, 240))) << program.errors();

    // A right click on the icon: the panel draws the program's menu; Configure opens the dialog.
    const QPoint at = *green + QPoint(1, 1);
    ASSERT_EQ(test::xdotool({"mousemove", "--sync", std::to_string(at.x()), std::to_string(at.y()),
                             "click", "3"}),
              0);
    std::this_thread::sleep_for(1s);
    std::filesystem::create_directories(VANTLE_ARTEFACTS);
    x->screenshot().save(VANTLE_ARTEFACTS "/panel-menu.png");
    ASSERT_EQ(test::xdotool({"key", "Down", "Down", "Down"}), 0);
    std::this_thread::sleep_for(500ms);
    x->screenshot().save(VANTLE_ARTEFACTS "/panel-menu-configure.png");
    ASSERT_EQ(test::xdotool({"key", "Return"}), 0);
    const std::string dialog = test::windowNamed("vantle - Configuration");
    EXPECT_FALSE(dialog.empty()) << program.errors();
    if (!dialog.empty()) {
        test::xdotool({"windowfocus", "--sync", dialog});
        test::xdotool({"key", "Escape"});
    }
    quit(program);
}

TEST_F(TrayHostsLiveTest, APanelThatComesLateOrRestartsGetsTheItem) {
    configure();
    start({.tray = test::XSession::Tray::panel, .startPanel = false});
    test::SimProcess program(VANTLE_PROGRAM, {});
    // Past the program's wait for a watcher, so that it has fallen back to XEmbed by now.
    std::this_thread::sleep_for(5s);
    ASSERT_TRUE(x->startPanel());
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitFor([&] { return !registeredItem().isEmpty(); }, 15s)) << program.errors();
    std::printf("item registered %lld ms after the watcher came\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - started)
                                           .count()));

    x->stopPanel();
    ASSERT_TRUE(x->startPanel());
    started = std::chrono::steady_clock::now();
    EXPECT_TRUE(waitFor([&] { return !registeredItem().isEmpty(); }, 15s)) << program.errors();
    std::printf("item registered again %lld ms after the restart\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - started)
                                           .count()));
    EXPECT_TRUE(x->waitForColour(QColor(0, 128, 0)) || x->waitForColour(QColor(120, 120, 120)))
        << "no icon in the panel";
    std::filesystem::create_directories(VANTLE_ARTEFACTS);
    x->screenshot().save(VANTLE_ARTEFACTS "/panel-late.png");
    quit(program);
}

TEST_F(TrayHostsLiveTest, AnXEmbedTrayWithoutAWatcherGetsTheIconAfterTheWait) {
    configure();
    start({.tray = test::XSession::Tray::xembed, .sessionBus = true});
    TnotificationServer server;
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    test::SimProcess program(VANTLE_PROGRAM, {});
    const auto icon = x->waitForColour(QColor(0, 128, 0));
    ASSERT_TRUE(icon) << program.errors();
    EXPECT_LT(icon->y(), test::XSession::TrayHeight) << "not in the tray";
    // Past the program's wait for any area: a tray was there, so there is nothing to tell (and
    // no window to open, which goes with the notice).
    waitFor([] { return false; }, 12s);
    EXPECT_TRUE(server.received.empty()) << server.received.front().summary.toStdString();
    quit(program);
}

TEST_F(TrayHostsLiveTest, WithoutANotificationAreaTheWindowAndOneNotificationAppear) {
    configure();
    start({.tray = test::XSession::Tray::none, .sessionBus = true});
    TnotificationServer server;
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));

    test::SimProcess program(VANTLE_PROGRAM, {});
    ASSERT_TRUE(waitFor([&] { return !server.received.empty(); }, 30s)) << program.errors();
    EXPECT_EQ(server.received.front().summary, noTrayTitle());
    EXPECT_THAT(server.received.front().body.toStdString(),
                testing::HasSubstr("gnome-shell-extension-appindicator"));
    EXPECT_FALSE(test::windowNamed("vantle").empty()) << program.errors();

    // A second start brings that window forward instead of saying the program runs already.
    test::SimProcess second(VANTLE_PROGRAM, {});
    EXPECT_EQ(second.wait(10s), 0) << second.errors();
    waitFor([] { return false; }, 6s); // the program looks again at the area meanwhile
    EXPECT_EQ(server.received.size(), 1u) << "one notification, not one per check";
    // The pies are on the screen still: the second start ended nothing of the first.
    EXPECT_TRUE(x->waitForColour(QColor(166, 202, 240))) << program.errors();
    std::filesystem::create_directories(VANTLE_ARTEFACTS);
    x->screenshot().save(VANTLE_ARTEFACTS "/no-tray-status-window.png");
    quit(program);
}

} // namespace

#include "TrayHostsLiveTest.moc"
