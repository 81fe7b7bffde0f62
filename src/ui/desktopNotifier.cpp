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
    , connection_(connection) {}

bool TdesktopNotifier::notify(const QString& summary, const QString& body, int timeoutMs) {
    if (!connection_.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(Service), QStringLiteral("/org/freedesktop/Notifications"),
        QString::fromLatin1(Service), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName());
    call << QGuiApplication::applicationName() << static_cast<uint>(id_) << QStringLiteral("vantle")
         << summary << body << QStringList() << hints << timeoutMs;
    auto* pending = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusPendingReply<uint> reply = *done;
                if (reply.isError())
                    runtime::outputDebugString("Cannot show a desktop notification: " +
                                               reply.error().message().toStdString());
                else
                    id_ = reply.value();
            });
    return true;
}

} // namespace vantle
