// The waiting messages shown as one: through the notification service, else as a balloon of
// the tray icon; a refused login offers Configure, and choosing it opens the dialog.
#include "ui/alertPresenter.h"

#include "config/configuration.h"
#include "outputs/alerts.h"
#include "support/TestSupport.h"
#include "ui/desktopNotifier.h"
#include "ui/recordingTrayBackend.h"
#include "ui/sysTray.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

using namespace vantle;

namespace {

class AlertPresenterTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    Tconfiguration configuration;
    test::TrecordingTrayBackend::Settings settings;
    std::vector<test::TrecordingTrayBackend::Request> requests;
    TzintraSysTray tray{std::make_unique<test::TrecordingTrayBackend>(settings, requests)};
    // A bus that is not there: every message falls back to the balloon.
    TdesktopNotifier notifier{
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"),
                                      QStringLiteral("no-bus")),
        nullptr};
    int configured = 0;
    TalertPresenter presenter{configuration, notifier, tray, [this] { ++configured; }};

    void queue(const std::vector<Talert>& alerts) {
        TalertState state = TalertState::read(configuration);
        state.pending = alerts;
        state.write(configuration);
    }

    // The balloons shown since the last call: title and text.
    std::vector<std::pair<QString, QString>> balloons() {
        std::vector<std::pair<QString, QString>> shown;
        for (const auto& r : requests)
            if (r.message == NIM_MODIFY && (r.data.uFlags & NIF_INFO) && !r.data.szInfo.isEmpty())
                shown.emplace_back(r.data.szInfoTitle, r.data.szInfo);
        requests.clear();
        return shown;
    }
};

} // namespace

TEST_F(AlertPresenterTest, WithoutAServiceTheMessagesShowAsOneBalloon) {
    tray.SetActive(true);
    requests.clear();
    presenter.showPending();
    EXPECT_TRUE(balloons().empty()) << "nothing waits";

    queue({{TalertKind::threshold, "Peak has reached 80 % of its quota", "20,000 MB"},
           {TalertKind::shaped, "Off Peak is shaped", "Slowed"}});
    presenter.showPending();
    const auto shown = balloons();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Peak has reached 80 % of its quota");
    EXPECT_EQ(shown[0].second, "20,000 MB\nOff Peak is shaped: Slowed");
    // Taken: not shown again.
    presenter.showPending();
    EXPECT_TRUE(balloons().empty());

    // A service that refuses the message has it shown the same way.
    emit notifier.failed(QStringLiteral("Summary"), QStringLiteral("Body"));
    EXPECT_EQ(balloons(), (std::vector<std::pair<QString, QString>>{{"Summary", "Body"}}));
}

TEST_F(AlertPresenterTest, ConfigureFromTheNotificationOpensTheDialogOnce) {
    emit notifier.actionInvoked(QStringLiteral("other"));
    emit notifier.actionInvoked(QString::fromLatin1(TalertPresenter::ConfigureAction));
    EXPECT_EQ(configured, 0) << "not inside the bus's signal";
    QDeadlineTimer deadline(10000);
    while (configured == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    EXPECT_EQ(configured, 1);
}
