#include "SingleInstance.h"

#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "platform/instanceRegistry.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace vantle::SingleInstance {
namespace {

constexpr int RequestTimeoutMs = 5000;

std::string entryName(const std::string& base) {
    return base + "." + platform::userName();
}

std::string socketPath(std::uint32_t processId) {
    return platform::instanceFolder() + "/instance-" + std::to_string(processId) + ".socket";
}

std::uint32_t ownProcess() {
    return static_cast<std::uint32_t>(::getpid());
}

// This process's side: the windows it registered, by the number written into entries, and the
// socket their requests arrive on.
class Registry {
public:
    ~Registry() {
        clear();
        // The process is ending and the Qt application is gone: leave the socket to the system.
        (void)server_.release();
    }

    void remember(const std::string& name) {
        std::lock_guard guard(lock_);
        if (std::find(written_.begin(), written_.end(), name) == written_.end())
            written_.push_back(name);
    }

    std::uint32_t windowNumber(QWidget* window) {
        for (const auto& [number, known] : windows_)
            if (known == window)
                return number;
        windows_[nextNumber_] = window;
        listen();
        return nextNumber_++;
    }

    QWidget* window(std::uint32_t number) const {
        const auto found = windows_.find(number);
        return found == windows_.end() ? nullptr : found->second.data();
    }

    void clear() {
        std::vector<std::string> names;
        {
            std::lock_guard guard(lock_);
            names.swap(written_);
        }
        for (const std::string& name : names) {
            try {
                platform::writeInstanceRecord(name, {});
            } catch (const std::exception& e) {
                runtime::outputDebugString(e.what());
            }
        }
    }

    void stop() { server_.reset(); }

private:
    void listen();
    void answer(QLocalSocket* socket);

    std::mutex lock_;
    std::vector<std::string> written_;
    std::map<std::uint32_t, QPointer<QWidget>> windows_;
    std::uint32_t nextNumber_ = 1;
    std::unique_ptr<QLocalServer> server_;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

void Registry::listen() {
    if (server_)
        return;
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = QString::fromStdString(socketPath(ownProcess()));
    QLocalServer::removeServer(path); // left by a process that had this id before
    if (!server_->listen(path)) {
        runtime::outputDebugString("Cannot listen for requests: " +
                                   server_->errorString().toStdString());
        return;
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket,
                             [this, socket] { answer(socket); });
        }
    });
}

// Requests are one line: "close N" or "raise N". The answer is sent before the window acts,
// so the asking process is released even when closing ends this one.
void Registry::answer(QLocalSocket* socket) {
    if (!socket->canReadLine())
        return;
    const QByteArray line = socket->readLine().trimmed();
    const QList<QByteArray> words = line.split(' ');
    bool ok = false;
    const std::uint32_t number = words.size() == 2 ? words[1].toUInt(&ok) : 0;
    QWidget* target = ok ? window(number) : nullptr;
    socket->write(target != nullptr ? "ok\n" : "unknown\n");
    socket->flush();
    if (target == nullptr)
        return;
    if (words[0] == "close") {
        target->close();
    } else if (words[0] == "raise") {
        if (target->isMinimized())
            target->showNormal();
        target->show();
        target->raise();
        target->activateWindow();
    }
}

bool request(const TinstanceEntry& entry, const char* verb) {
    if (entry.processId == 0)
        return false;
    if (entry.processId == ownProcess()) {
        QWidget* target = registry().window(entry.window);
        if (target == nullptr)
            return false;
        if (std::string(verb) == "close") {
            target->close();
        } else {
            if (target->isMinimized())
                target->showNormal();
            target->show();
            target->raise();
            target->activateWindow();
        }
        return true;
    }
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(socketPath(entry.processId)));
    if (!socket.waitForConnected(RequestTimeoutMs))
        return false;
    socket.write(QByteArray(verb) + " " + QByteArray::number(entry.window) + "\n");
    if (!socket.waitForBytesWritten(RequestTimeoutMs))
        return false;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(RequestTimeoutMs))
            return false;
    return socket.readLine().trimmed() == "ok";
}

} // namespace

TinstanceEntry query(const std::string& base) {
    try {
        const platform::InstanceRecord record = platform::readInstanceRecord(entryName(base));
        return {record.window, record.processId};
    } catch (const std::system_error& e) {
        throw Error(e.what());
    }
}

void registerWindow(const std::string& base, QWidget* window) {
    registerValues(base, registry().windowNumber(window), ownProcess());
}

void registerValues(const std::string& base, std::uint32_t window, std::uint32_t processId) {
    const std::string name = entryName(base);
    try {
        platform::writeInstanceRecord(name, {window, processId});
    } catch (const std::system_error& e) {
        throw Error(e.what());
    }
    registry().remember(name);
}

bool closeWindow(const TinstanceEntry& entry) {
    return request(entry, "close");
}

bool bringToFront(const TinstanceEntry& entry) {
    return request(entry, "raise");
}

void clearWrittenEntries() {
    registry().clear();
}

void stopListening() {
    registry().stop();
}

} // namespace vantle::SingleInstance
