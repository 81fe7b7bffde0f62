// The program's main form, never shown: it owns the notification-area icon, the tray menu, the
// poll and trim timers, and receives the poll worker's completion message.
#pragma once

#include "ui/PopupEx.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace vantle {

class TaboutFrm;
class Tconfiguration;
class TpollThread;
class TstatusFrm;
class TzintraSysTray;

// The poll worker's completion message, used as a Qt event type.
inline constexpr int WM_POLLDONE = 0x8001;

class TmainFrm : public QWidget {
    Q_OBJECT
public:
    // The tray icon starts inactive; startUp shows it.
    TmainFrm();
    ~TmainFrm() override;

    // Runs once, at the first idle moment: configuration, tray icon, first poll in 100 ms.
    void startUp();
    // The tray icon and hint from their files, or the default icon and "vantle".
    void reloadTray();

    Tconfiguration* configuration() const { return configuration_.get(); }
    TaboutFrm* aboutFrm() const;
    TzintraSysTray& tray() const { return *tray_; }

    QMenu trayMenu;
    QAction* Aboutvantle1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* Configure1 = nullptr;
    QAction* Exit1 = nullptr;
    QTimer pollTimer;
    QTimer trimTimer;
    int pollTimerTag = 0; // the poll period in milliseconds

    void pollTimerTimer();
    void trimTimerTimer();
    void Exit1Click();
    void Aboutvantle1Click();
    void Open1Click();
    void Configure1Click();
    void trayClick();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Closing a menu restarts the trim countdown.
    TExPopupList popupList_{this};
    std::unique_ptr<TzintraSysTray> tray_;
    std::unique_ptr<Tconfiguration> configuration_;
    std::unique_ptr<TstatusFrm> status_;
    QPointer<TaboutFrm> about_;    // deletes itself when closed
    QPointer<TpollThread> worker_; // the latest poll worker, until it has freed itself
};

// The main form, set by the program start, and the status window, made at start-up.
extern TmainFrm* mainFrm;
extern TstatusFrm* statusFrm;

// One poll cycle on a thread of its own, on a snapshot of the configuration; posts
// WM_POLLDONE to the main form when done and frees itself.
class TpollThread : public QThread {
public:
    explicit TpollThread(const Tconfiguration& configuration);
    ~TpollThread() override;

protected:
    void run() override;

private:
    std::unique_ptr<Tconfiguration> configuration_;
};

} // namespace vantle
