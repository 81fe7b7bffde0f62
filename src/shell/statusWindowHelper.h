// The status window in a process of its own, so that its browser engine is mapped only while
// someone looks and gives all its memory back a while after the window closes. The tray
// program starts it on Open and asks it, over a per-user local socket, to show itself, to
// reload after a poll, or to end.
#pragma once

#include "statusWindowChannel.h"

#include <QLocalServer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

class QLocalSocket;

namespace vantle {

class TstatusFrm;

namespace platform {
class TfolderLock;
}

// How the program was asked to start: as the helper, and how long a helper outlives its closed
// window.
struct TstatusWindowMode {
    bool helper = false;
    std::chrono::milliseconds grace{DefaultStatusGraceMs};
};
TstatusWindowMode statusWindowMode(int argc, char** argv);

// Serves the requests for one window and ends the application once the window has stayed
// closed for the grace period.
class TstatusWindowHost : public QObject {
    Q_OBJECT

public:
    TstatusWindowHost(TstatusFrm& window, std::chrono::milliseconds grace,
                      QObject* parent = nullptr);
    ~TstatusWindowHost() override;

    // Takes the user's one helper place and listens; false when another helper holds it.
    bool listen();
    // Shows the window in front; its closing starts the grace period.
    void showWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void answer(QLocalSocket* socket);

    TstatusFrm& window_;
    std::unique_ptr<platform::TfolderLock> lock_;
    QLocalServer server_;
    QTimer graceTimer_;
};

// The helper's whole run, in an application already made: the window for the program's
// configuration, shown at once. A helper already running is asked to show its window instead.
// Returns the exit status.
int runStatusWindow(std::chrono::milliseconds grace);

// For a start that found a helper: asks it to show its window; false when none answered.
bool showRunningStatusWindow();

} // namespace vantle
