// The program's main form, never shown: it owns the notification-area icon, the tray menu, the
// poll and trim timers, and receives the poll worker's completion message.
#pragma once

#include "lib/runtime/DateTime.h"
#include "ui/PopupEx.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <memory>
#include <vector>

namespace vantle {

class TaboutFrm;
class TalertPresenter;
class Tconfiguration;
class TdesktopNotifier;
class TnoTrayFallback;
class TpollThread;
class TstatusFrm;
class TstatusWindowLink;
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
    // Cancels the polls still running and waits up to the time given for them to end; false
    // when one is still running.
    bool endPolls(int milliseconds);

    Tconfiguration* configuration() const { return configuration_.get(); }
    TaboutFrm* aboutFrm() const;
    TzintraSysTray& tray() const { return *tray_; }
    // The status window, which runs in a helper process.
    TstatusWindowLink& statusWindow() const { return *status_; }

    QMenu trayMenu;
    QAction* Aboutvantle1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* Configure1 = nullptr;
    QAction* Exit1 = nullptr;
    QTimer pollTimer;
    QTimer trimTimer;
    // Every minute: runs a poll the wall clock finds overdue, as after a suspend.
    QTimer wakeTimer;
    int pollTimerTag = 0; // the poll period in milliseconds

    void pollTimerTimer();
    void wakeTimerTimer();
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
    // A poll worker, whatever the last update time says.
    void startPoll();

    // The workers still running, to be cancelled when the account changes.
    std::vector<QPointer<TpollThread>> workers_;
    // When, by the wall clock, the poll timer is due.
    TDateTime pollDue_ = 0;
    // Closing a menu restarts the trim countdown.
    TExPopupList popupList_{this};
    std::unique_ptr<TzintraSysTray> tray_;
    std::unique_ptr<Tconfiguration> configuration_;
    std::unique_ptr<TstatusWindowLink> status_;
    // Where the desktop has no notification area.
    std::unique_ptr<TdesktopNotifier> notifier_;
    std::unique_ptr<TnoTrayFallback> noTray_;
    // Thresholds, shaping, refused logins and stale figures, told after each poll.
    std::unique_ptr<TalertPresenter> alerts_;
    QPointer<TaboutFrm> about_; // deletes itself when closed
};

// The main form, set by the program start, and the status window of a helper process.
extern TmainFrm* mainFrm;
extern TstatusFrm* statusFrm;

// One poll cycle on a thread of its own, on a snapshot of the configuration; posts
// WM_POLLDONE to the main form when done and frees itself.
class TpollThread : public QThread {
public:
    explicit TpollThread(const Tconfiguration& configuration);
    ~TpollThread() override;

    // Its account is no longer the one shown: what it downloads is not written out.
    void cancel() { cancelled_ = true; }

protected:
    void run() override;

private:
    std::unique_ptr<Tconfiguration> configuration_;
    std::atomic<bool> cancelled_{false};
};

} // namespace vantle
