// The real program under Xvfb, with a session bus of its own and a notification server written
// here, against vantle-sim accounts below, at and over each threshold: one notification per
// threshold per quota period, none again after a restart, again in a new period; two refused
// logins told once, with Configure, and the polls held back; and no notification service at
// all, which the program survives.
#include "config/configuration.h"
#include "config/xmlConf.h"
#include "support/EventLoop.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "support/XSession.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

using namespace vantle;
using test::waitFor;
using namespace std::chrono_literals;
using testing::HasSubstr;

namespace {

constexpr const char* Service = "org.freedesktop.Notifications";
constexpr const char* Path = "/org/freedesktop/Notifications";

// Records every message; each new one gets a new number, unless it replaces one.
class TnoticeServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notice {
        QString appName;
        uint replaces = 0;
        QString summary;
        QString body;
        QStringList actions;
        uint id = 0;
    };
    std::vector<Notice> received;

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        const uint id = replacesId != 0 ? replacesId : ++last_;
        received.push_back({appName, replacesId, summary, body, actions, id});
        return id;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("actions")}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
        vendor = QStringLiteral("test");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("test");
    }
    void CloseNotification(uint) {}

private:
    uint last_ = 40;
};

class NotificationsLiveTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    test::TempDir work;
    std::unique_ptr<test::XSession> x;
    QDBusConnection bus{QString()};
    TnoticeServer server;
    Tconfiguration c;

    void start(bool withServer) {
        x = std::make_unique<test::XSession>(test::XSession::Options{.sessionBus = true});
        if (!x->started())
            GTEST_SKIP() << x->why();
        static int counter = 0;
        bus = QDBusConnection::connectToBus(QString::fromStdString(x->busAddress()),
                                            QStringLiteral("notify-test-%1").arg(++counter));
        ASSERT_TRUE(bus.isConnected());
        if (withServer) {
            ASSERT_TRUE(bus.registerObject(Path, &server, QDBusConnection::ExportAllSlots));
            ASSERT_TRUE(bus.registerService(Service));
        }
    }

    // One run of the program against a stand-in whose account "user" has so many bytes of its
    // 25,000 MB peak quota used; the program is due to poll at once. Returns the program's
    // diagnostic output once its poll has been noted and the program has ended.
    std::string run(std::int64_t peakUsed, int anniversary = 1, const std::string& password = "pw",
                    const std::function<void()>& meanwhile = {}) {
        const std::string accounts = work.file("accounts");
        test::writeFile(accounts, "[user]\npassword = pw\npeak_used = " + std::to_string(peakUsed) +
                                      "\nanniversary = " + std::to_string(anniversary) + "\n");
        const std::string log = work.file("requests.log");
        std::filesystem::remove(log);
        test::RunningSim sim(VANTLE_SIM, {"--static", "--accounts", accounts, "--log", log});
        c.load();
        c.username = "user";
        c.domain = "iinet.net.au";
        c.password = password;
        c.save();
        {
            // The stand-in's address, in the section save keeps as it is.
            TxmlConf conf(c.configFile);
            conf.WriteValue("providers", "iinet.net.au", sim.urlTemplate);
        }
        c.load(); // records the build, which would otherwise reset the update time below
        c.setUpdateTime(NeverUpdated);
        const std::string state = c.dataFolder + "notifystate";
        const std::string before =
            std::filesystem::exists(state) ? test::readFile(state) : std::string();

        test::SimProcess program(VANTLE_PROGRAM, {});
        EXPECT_TRUE(waitFor(
            [&] {
                return std::filesystem::exists(state) && test::readFile(state) != before &&
                       test::readFile(state).find("alert ") == std::string::npos;
            },
            30s))
            << program.errors();
        // The notification's call, if any, is on its way: give the bus a moment.
        waitFor([] { return false; }, 1500ms);
        if (meanwhile)
            meanwhile();
        requests = std::filesystem::exists(log) ? lineCount(test::readFile(log)) : 0;
        test::SimProcess ending(VANTLE_PROGRAM, {"-quit"});
        EXPECT_EQ(ending.wait(10s), 0);
        EXPECT_EQ(program.wait(15s), 0) << program.errors();
        return program.errors();
    }

    static int lineCount(const std::string& text) {
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }

    std::vector<std::string> summariesSince(std::size_t first) const {
        std::vector<std::string> texts;
        for (std::size_t i = first; i < server.received.size(); ++i)
            texts.push_back(server.received[i].summary.toStdString());
        return texts;
    }

    int requests = 0;
};

} // namespace

TEST_F(NotificationsLiveTest, EachThresholdOncePerPeriodAndAgainInTheNext) {
    start(true);
    if (IsSkipped())
        return;
    constexpr std::int64_t MB = 1000000;
    struct Step {
        const char* what;
        std::int64_t usedMB;
        int anniversary;
        std::vector<std::string> told;
    };
    const Step steps[] = {
        {"below the first", 19000, 1, {}},
        {"over 80 %", 21000, 1, {"Peak has reached 80 % of its quota"}},
        {"the same after a restart", 21500, 1, {}},
        {"at 90 %", 22500, 1, {"Peak has reached 90 % of its quota"}},
        {"over 100 %", 25001, 1, {"Peak has reached 100 % of its quota"}},
        // Another reset day is another quota period: told afresh.
        {"a new period", 21000, 15, {"Peak has reached 80 % of its quota"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const std::size_t first = server.received.size();
        const std::string errors = run(step.usedMB * MB, step.anniversary);
        EXPECT_EQ(summariesSince(first), step.told) << errors;
    }
    ASSERT_FALSE(server.received.empty());
    for (const TnoticeServer::Notice& notice : server.received) {
        EXPECT_EQ(notice.appName, "vantle");
        EXPECT_TRUE(notice.actions.isEmpty());
    }
    // Shaped at 100 %: told in the same message.
    EXPECT_THAT(server.received[2].body.toStdString(), HasSubstr("Peak is shaped"));
}

TEST_F(NotificationsLiveTest, TwoRefusedLoginsAreToldOnceAndHoldPollsBack) {
    start(true);
    if (IsSkipped())
        return;
    run(1000, 1, "wrong");
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(server.received.empty());

    // The second refusal is told, with Configure, which opens the dialog.
    bool dialogOpened = false;
    run(1000, 1, "wrong", [&] {
        ASSERT_EQ(server.received.size(), 1u);
        const TnoticeServer::Notice& notice = server.received[0];
        EXPECT_EQ(notice.summary, "The provider refused the login");
        EXPECT_THAT(notice.body.toStdString(), HasSubstr("at most every 6 hours"));
        EXPECT_EQ(notice.actions, (QStringList{"configure", "Configure"}));
        QDBusMessage invoked = QDBusMessage::createSignal(Path, Service, "ActionInvoked");
        invoked << notice.id << QStringLiteral("configure");
        bus.send(invoked);
        const std::string dialog = test::windowNamed("vantle - Configuration");
        dialogOpened = !dialog.empty();
        if (dialogOpened)
            test::xdotool({"key", "--window", dialog, "Escape"});
    });
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(dialogOpened);

    // Started again within six hours, it does not ask the provider.
    test::SimProcess program(VANTLE_PROGRAM, {});
    EXPECT_TRUE(
        waitFor([&] { return program.errors().find("held back") != std::string::npos; }, 20s))
        << program.errors();
    test::SimProcess ending(VANTLE_PROGRAM, {"-quit"});
    EXPECT_EQ(ending.wait(10s), 0);
    EXPECT_EQ(program.wait(15s), 0);
    EXPECT_EQ(server.received.size(), 1u);
}

TEST_F(NotificationsLiveTest, WithoutANotificationServiceTheProgramCarriesOn) {
    start(false);
    if (IsSkipped())
        return;
    const std::string errors = run(21000 * 1000000LL);
    EXPECT_EQ(requests, 1);
    EXPECT_THAT(errors, HasSubstr("Cannot show a desktop notification"));
    // Told, as far as the program can: not again.
    EXPECT_THAT(test::readFile(c.dataFolder + "notifystate"), HasSubstr("told 80 peak"));
}

#include "NotificationsLiveTest.moc"
