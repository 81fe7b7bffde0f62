// Desktop notifications through the session bus (org.freedesktop.Notifications): the program's
// messages to the user outside its windows. Each sender keeps one notification on screen: a new
// message replaces the one it sent before instead of stacking under it.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace vantle {

class TdesktopNotifier : public QObject {
    Q_OBJECT

public:
    static constexpr const char* Service = "org.freedesktop.Notifications";

    // On the session bus.
    explicit TdesktopNotifier(QObject* parent = nullptr);
    TdesktopNotifier(const QDBusConnection& connection, QObject* parent);

    // Sends the message without waiting for the server; false when there is no bus. A timeout
    // of -1 leaves it to the server, 0 keeps the message until the user closes it. actions are
    // pairs of a key and its label; choosing one emits actionInvoked with the key.
    bool notify(const QString& summary, const QString& body, int timeoutMs = -1,
                const QStringList& actions = {});

    // The server's number of the message on screen; 0 before the first answer.
    std::uint32_t notificationId() const { return id_; }

signals:
    // The user chose an action of this sender's message.
    void actionInvoked(const QString& key);
    // The server did not take the message (none runs, or it refused); what it said is in the
    // diagnostic sink.
    void failed(const QString& summary, const QString& body);

private slots:
    void serverActionInvoked(uint id, const QString& key);

private:
    QDBusConnection connection_;
    std::uint32_t id_ = 0;
};

} // namespace vantle
