#include "ui/desktopNotifier.h"

#include "lib/runtime/DebugOutput.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>

namespace vantle {

TdesktopNotifier::TdesktopNotifier(QObject* parent)
    : TdesktopNotifier(QDBusConnection::sessionBus(), parent) {}

TdesktopNotifier::TdesktopNotifier(const QDBusConnection& connection, QObject* parent)
    : QObject(parent)
    , connection_(connection) {
    connection_.connect(QString::fromLatin1(Service),
                        QStringLiteral("/org/freedesktop/Notifications"),
                        QString::fromLatin1(Service), QStringLiteral("ActionInvoked"), this,
                        SLOT(serverActionInvoked(uint, QString)));
}

void TdesktopNotifier::serverActionInvoked(uint id, const QString& key) {
    if (id != 0 && id == id_)
        emit actionInvoked(key);
}

bool TdesktopNotifier::notify(const QString& summary, const QString& body, int timeoutMs,
                              const QStringList& actions) {
    if (!connection_.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(Service), QStringLiteral("/org/freedesktop/Notifications"),
        QString::fromLatin1(Service), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName());
    call << QGuiApplication::applicationName() << static_cast<uint>(id_) << QStringLiteral("vantle")
         << summary << body << actions << hints << timeoutMs;
    auto* pending = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, summary, body](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusPendingReply<uint> reply = *done;
                if (reply.isError()) {
                    runtime::outputDebugString("Cannot show a desktop notification: " +
                                               reply.error().message().toStdString());
                    emit failed(summary, body);
                } else {
                    id_ = reply.value();
                }
            });
    return true;
}

} // namespace vantle
