#include "ui/alertPresenter.h"

#include "outputs/alerts.h"
#include "ui/desktopNotifier.h"
#include "ui/sysTray.h"

#include <QTimer>

#include <algorithm>

namespace vantle {
namespace {

constexpr std::uint32_t BalloonMs = 15000;

} // namespace

TalertPresenter::TalertPresenter(const Tconfiguration& configuration, TdesktopNotifier& notifier,
                                 TzintraSysTray& tray, std::function<void()> configure,
                                 QObject* parent)
    : QObject(parent)
    , configuration_(configuration)
    , notifier_(notifier)
    , tray_(tray)
    , configure_(std::move(configure)) {
    connect(&notifier_, &TdesktopNotifier::failed, this, &TalertPresenter::showBalloon);
    connect(&notifier_, &TdesktopNotifier::actionInvoked, this, [this](const QString& key) {
        // Not inside the bus's signal: the dialog runs a loop of its own.
        if (key == QLatin1String(ConfigureAction) && configure_)
            QTimer::singleShot(0, this, [this] { configure_(); });
    });
}

void TalertPresenter::showPending() {
    const std::vector<Talert> alerts = takeAlerts(configuration_);
    if (alerts.empty())
        return;
    // One message on screen at a time: the first leads, the others follow in its text.
    QString summary = QString::fromStdString(alerts.front().summary);
    QString body = QString::fromStdString(alerts.front().body);
    for (std::size_t i = 1; i < alerts.size(); ++i)
        body += QStringLiteral("\n%1: %2")
                    .arg(QString::fromStdString(alerts[i].summary),
                         QString::fromStdString(alerts[i].body));
    QStringList actions;
    if (std::any_of(alerts.begin(), alerts.end(),
                    [](const Talert& a) { return a.kind == TalertKind::refusedLogin; }))
        actions << QLatin1String(ConfigureAction) << QStringLiteral("Configure");
    if (!notifier_.notify(summary, body, -1, actions))
        showBalloon(summary, body);
}

void TalertPresenter::showBalloon(const QString& summary, const QString& body) {
    tray_.ShowBalloon(summary, body, TBalloonKind::bkInfo, BalloonMs, false);
}

} // namespace vantle
