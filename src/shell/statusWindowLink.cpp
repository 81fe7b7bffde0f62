// Requests wait in a queue while the socket connects; a refused connection means no helper: an
// Open starts one (which shows its window by itself), other requests are dropped, since a
// helper that starts later reads the current files anyway.
#include "statusWindowLink.h"

#include "statusWindowChannel.h"

#include "lib/runtime/DebugOutput.h"

#include <QCoreApplication>
#include <QScopedValueRollback>

#include <exception>

namespace vantle {
namespace {

constexpr int EndWaitMs = 3000;

} // namespace

TstatusWindowLink::TstatusWindowLink()
    : program_(QCoreApplication::applicationFilePath())
    , grace_(DefaultStatusGraceMs) {
    setObjectName(QStringLiteral("statusWindowLink"));
    connect(&socket_, &QLocalSocket::connected, this, &TstatusWindowLink::connected);
    connect(&socket_, &QLocalSocket::errorOccurred, this, &TstatusWindowLink::failed);
    connect(&socket_, &QLocalSocket::disconnected, this, &TstatusWindowLink::failed);
    connect(&socket_, &QLocalSocket::readyRead, this, [this] {
        while (socket_.canReadLine() && !sent_.isEmpty()) {
            socket_.readLine();
            sent_.removeFirst();
        }
    });
    // The helper keeps the program's standard error, so that its messages reach the same log.
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setStandardOutputFile(QProcess::nullDevice());
    connect(qApp, &QCoreApplication::aboutToQuit, this, &TstatusWindowLink::endHelper);
}

TstatusWindowLink::~TstatusWindowLink() {
    endHelper();
}

void TstatusWindowLink::setGrace(std::chrono::milliseconds grace) {
    grace_ = grace;
}

void TstatusWindowLink::open() {
    send("show");
}

void TstatusWindowLink::Reload() {
    send("reload");
}

void TstatusWindowLink::setVisible(bool visible) {
    if (visible)
        open();
}

qint64 TstatusWindowLink::helperProcessId() const {
    return process_.state() == QProcess::NotRunning ? 0 : process_.processId();
}

void TstatusWindowLink::send(const QByteArray& request) {
    if (socket_.state() == QLocalSocket::ConnectedState) {
        write(request);
        return;
    }
    if (!pending_.contains(request))
        pending_.append(request);
    if (socket_.state() != QLocalSocket::UnconnectedState)
        return;
    try {
        socket_.connectToServer(QString::fromStdString(statusWindowSocketPath()));
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
        pending_.clear();
    }
}

void TstatusWindowLink::write(const QByteArray& request) {
    sent_.append(request);
    socket_.write(request + "\n");
    socket_.flush();
}

void TstatusWindowLink::connected() {
    used_ = true;
    for (const QByteArray& request : std::exchange(pending_, {}))
        write(request);
}

void TstatusWindowLink::failed() {
    if (ending_)
        return;
    // A helper that ended or was killed before it took an Open: the Open goes to a new one.
    const bool show = pending_.contains("show") || sent_.contains("show");
    pending_.clear();
    sent_.clear();
    if (socket_.state() != QLocalSocket::UnconnectedState)
        socket_.abort();
    if (show)
        startHelper();
}

void TstatusWindowLink::startHelper() {
    // One that is starting shows its window as soon as it is up.
    if (process_.state() != QProcess::NotRunning)
        return;
    used_ = true;
    process_.start(program_,
                   {QString::fromLatin1(StatusWindowSwitch),
                    QString::fromLatin1(StatusGraceOption) + QString::number(grace_.count())});
}

void TstatusWindowLink::endHelper() {
    // A program that never opened the window (a second start on its way out) must not end the
    // helper of the instance that did.
    if (!used_)
        return;
    const QScopedValueRollback ending(ending_, true);
    pending_.clear();
    sent_.clear();
    if (socket_.state() != QLocalSocket::ConnectedState) {
        socket_.abort();
        try {
            socket_.connectToServer(QString::fromStdString(statusWindowSocketPath()));
        } catch (const std::exception& e) {
            runtime::outputDebugString(e.what());
        }
        socket_.waitForConnected(EndWaitMs);
    }
    if (socket_.state() == QLocalSocket::ConnectedState) {
        socket_.write("quit\n");
        socket_.waitForBytesWritten(EndWaitMs);
        socket_.disconnectFromServer();
    }
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(EndWaitMs)) {
        process_.kill();
        process_.waitForFinished(EndWaitMs);
    }
}

} // namespace vantle
