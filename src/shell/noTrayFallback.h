// The program on a desktop without a notification area: rather than polling with nothing on
// screen, it opens the status window once and tells the user, in a desktop notification, what
// the icon needs; while it has no area, a second start brings that window forward.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>

namespace vantle {

class TdesktopNotifier;
class TzintraSysTray;

// The entry of the status window of an instance that has no notification area.
inline constexpr const char* TraylessInstanceName = "zintra.vantle.status";

// The notification's texts.
QString noTrayTitle();
QString noTrayText();

class TnoTrayFallback : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds Wait{10000};
    // How often a trayless instance looks whether an area has come.
    static constexpr std::chrono::milliseconds Recheck{5000};

    // openStatus shows the status window; statusWindow is the window a second start brings
    // forward.
    TnoTrayFallback(TzintraSysTray& tray, QWidget& statusWindow, TdesktopNotifier& notifier,
                    std::function<void()> openStatus, std::chrono::milliseconds wait = Wait,
                    std::chrono::milliseconds recheck = Recheck, QObject* parent = nullptr);
    ~TnoTrayFallback() override;

    // Starts the wait; call once the icon has been asked for.
    void start();
    // No area has shown the icon since the wait ended.
    bool trayless() const { return trayless_; }

private:
    void check();

    TzintraSysTray& tray_;
    QPointer<QWidget> statusWindow_;
    TdesktopNotifier& notifier_;
    std::function<void()> openStatus_;
    QTimer timer_;
    std::chrono::milliseconds recheck_;
    bool told_ = false;
    bool trayless_ = false;
};

// For a second start: when the running instance has no notification area, asks it to bring
// its status window forward; true when it did.
bool openTraylessInstance();

} // namespace vantle
