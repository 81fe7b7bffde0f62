// The helper holds a lock in the user's runtime folder for its whole run: the one holder is the
// one helper, whatever order two starts come in, and a killed helper's lock goes with it.
#include "statusWindowHelper.h"

#include "main_form.h"
#include "statusWindowChannel.h"

#include "config/configuration.h"
#include "crash/MadExceptHelper.h"
#include "lib/runtime/DebugOutput.h"
#include "platform/folderLock.h"
#include "ui/status_form.h"

#include <QApplication>
#include <QEvent>
#include <QLocalSocket>

#include <cstdlib>
#include <string>
#include <string_view>

namespace vantle {
namespace {

constexpr int RequestTimeoutMs = 2000;

} // namespace

TstatusWindowMode statusWindowMode(int argc, char** argv) {
    TstatusWindowMode mode;
    const std::string_view prefix = StatusGraceOption;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == StatusWindowSwitch) {
            mode.helper = true;
        } else if (argument.starts_with(prefix)) {
            char* end = nullptr;
            const std::string digits(argument.substr(prefix.size()));
            const long value = std::strtol(digits.c_str(), &end, 10);
            if (!digits.empty() && *end == '\0' && value >= 0 && value <= 24L * 3600 * 1000)
                mode.grace = std::chrono::milliseconds(value);
        }
    }
    return mode;
}

TstatusWindowHost::TstatusWindowHost(TstatusFrm& window, std::chrono::milliseconds grace,
                                     QObject* parent)
    : QObject(parent)
    , window_(window) {
    graceTimer_.setSingleShot(true);
    graceTimer_.setInterval(grace);
    connect(&graceTimer_, &QTimer::timeout, this, [] { QCoreApplication::quit(); });
    window_.installEventFilter(this);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    });
}

TstatusWindowHost::~TstatusWindowHost() {
    window_.removeEventFilter(this);
}

bool TstatusWindowHost::listen() {
    const QString path = QString::fromStdString(statusWindowSocketPath());
    // The caller holds the helper lock: a socket file there is a dead helper's.
    QLocalServer::removeServer(path);
    if (!server_.listen(path)) {
        runtime::outputDebugString("The status window cannot listen for requests: " +
                                   server_.errorString().toStdString());
        return false;
    }
    return true;
}

void TstatusWindowHost::showWindow() {
    if (window_.isMinimized())
        window_.showNormal();
    window_.show();
    window_.raise();
    window_.activateWindow();
}

bool TstatusWindowHost::eventFilter(QObject* watched, QEvent* event) {
    // Only the program's and the user's own showing and hiding count, not a minimised window.
    if (watched == &window_ && !event->spontaneous()) {
        if (event->type() == QEvent::Show)
            graceTimer_.stop();
        else if (event->type() == QEvent::Hide)
            graceTimer_.start();
    }
    return QObject::eventFilter(watched, event);
}

void TstatusWindowHost::answer(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        const QByteArray request = socket->readLine().trimmed();
        // Answered first: a request the helper took is one the tray need not send again.
        socket->write("ok\n");
        socket->flush();
        if (request == "show")
            showWindow();
        else if (request == "reload")
            window_.Reload();
        else if (request == "quit")
            QCoreApplication::quit();
    }
}

int runStatusWindow(std::chrono::milliseconds grace) {
    try {
        const platform::TfolderLock lock(statusWindowLockFolder());
        if (lock.state() == platform::TfolderLock::Tstate::taken)
            return showRunningStatusWindow() ? 0 : 1;
        Tconfiguration configuration;
        configuration.load();
        // The window's failures are saved, never shown: the tray program runs on regardless.
        TmadExcept::instance().installSilentHandler();
        TmadExcept::instance().setCrashFolder(configuration.dataFolder + "crashdumps");
        TstatusFrm window(configuration, [](const std::exception_ptr& failure) {
            TmadExcept::instance().reportException(failure);
        });
        // The whole process ends soon after the window closes; until then a reopening is
        // instant.
        window.setKeepPageWhileHidden(true);
        TstatusWindowHost host(window, grace);
        // Without its socket the tray program could never reach it: it would only linger.
        if (!host.listen())
            return 1;
        statusFrm = &window;
        host.showWindow();
        const int status = QApplication::exec();
        statusFrm = nullptr;
        return status;
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
        statusFrm = nullptr;
        return 1;
    }
}

bool showRunningStatusWindow() {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(statusWindowSocketPath()));
    if (!socket.waitForConnected(RequestTimeoutMs))
        return false;
    socket.write("show\n");
    return socket.waitForBytesWritten(RequestTimeoutMs);
}

} // namespace vantle
