// Shows the messages the poll cycles queued (thresholds, shaping, a refused login, no update for
// a day) as one desktop notification, replacing the one before; where no notification service
// takes it, as a balloon of the tray icon. A refused login offers Configure.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace vantle {

class Tconfiguration;
class TdesktopNotifier;
class TzintraSysTray;

class TalertPresenter : public QObject {
    Q_OBJECT

public:
    static constexpr const char* ConfigureAction = "configure";

    // configure opens the configuration dialog.
    TalertPresenter(const Tconfiguration& configuration, TdesktopNotifier& notifier,
                    TzintraSysTray& tray, std::function<void()> configure,
                    QObject* parent = nullptr);

    // Takes the waiting messages out of the data folder and shows them.
    void showPending();

private:
    void showBalloon(const QString& summary, const QString& body);

    const Tconfiguration& configuration_;
    TdesktopNotifier& notifier_;
    TzintraSysTray& tray_;
    std::function<void()> configure_;
};

} // namespace vantle
