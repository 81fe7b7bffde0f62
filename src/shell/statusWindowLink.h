// The tray program's side of the status window, which lives in a helper process: a widget that
// stands for that window (showing it opens the real one), and the requests to reload and end.
// Nothing here waits on the helper but its ending at exit.
#pragma once

#include <QByteArrayList>
#include <QLocalSocket>
#include <QProcess>
#include <QWidget>

#include <chrono>

namespace vantle {

class TstatusWindowLink : public QWidget {
    Q_OBJECT

public:
    // The helper is this program started with StatusWindowSwitch.
    TstatusWindowLink();
    ~TstatusWindowLink() override;

    // Shows the status window in front, starting a helper when none answers.
    void open();
    // A running helper reloads the settings and the status document; without one, nothing.
    void Reload();
    // Asks a running helper to end and gives the one this program started a moment to do so.
    void endHelper();

    // Never shown itself: a show (as a second start's request) opens the real window.
    void setVisible(bool visible) override;

    // How long a helper this program starts outlives its closed window.
    void setGrace(std::chrono::milliseconds grace);
    // Tests: the program started as the helper.
    void setProgram(const QString& program) { program_ = program; }
    // The helper this program started and that still runs; 0 when none.
    qint64 helperProcessId() const;

private:
    void send(const QByteArray& request);
    void write(const QByteArray& request);
    void connected();
    void failed();
    void startHelper();

    QString program_;
    std::chrono::milliseconds grace_;
    QLocalSocket socket_;
    QProcess process_;
    // Waiting for the connection, and sent but not yet answered.
    QByteArrayList pending_;
    QByteArrayList sent_;
    bool ending_ = false;
    // Whether this program started or reached a helper, and so may end it.
    bool used_ = false;
};

} // namespace vantle
