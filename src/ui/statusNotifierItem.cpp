// Registration follows the watcher's bus name: each time a watcher takes the name (a late or a
// restarted panel) the item registers with it again; all calls to the watcher are asynchronous,
// so a stalled watcher never blocks the user interface.
#include "ui/statusNotifierItem.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QtGlobal>

#include <unistd.h>

namespace vantle {
namespace {

const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString WatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");

QString nextServiceName() {
    static int counter = 0;
    return QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(::getpid()).arg(++counter);
}

} // namespace

TstatusNotifierItem::TstatusNotifierItem(QObject* parent)
    : TstatusNotifierItem(QDBusConnection::sessionBus(), parent) {}

TstatusNotifierItem::TstatusNotifierItem(const QDBusConnection& connection, QObject* parent)
    : QObject(parent)
    , connection_(connection)
    , serviceName_(nextServiceName())
    , menu_(this) {
    registerDbusTrayTypes();
    watcher_.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty())
                    watcherGone();
                else
                    registerWithWatcher();
            });
}

TstatusNotifierItem::~TstatusNotifierItem() {
    hide();
}

QString TstatusNotifierItem::Id() const {
    return QGuiApplication::applicationName();
}

QString TstatusNotifierItem::Title() const {
    return QGuiApplication::applicationName();
}

QDBusObjectPath TstatusNotifierItem::Menu() const {
    return QDBusObjectPath(QString::fromLatin1(TdbusMenu::ObjectPath));
}

TsniToolTip TstatusNotifierItem::ToolTip() const {
    return TsniToolTip{{}, {}, toolTip_, {}};
}

void TstatusNotifierItem::show() {
    if (shown_ || !connection_.isConnected())
        return;
    shown_ = true;
    connection_.registerObject(QString::fromLatin1(ObjectPath), this,
                               QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                   QDBusConnection::ExportAllProperties);
    menu_.exportOn(connection_);
    connection_.registerService(serviceName_);
    if (!watching_) {
        watching_ = true;
        watcher_.setConnection(connection_);
        watcher_.addWatchedService(QString::fromLatin1(WatcherService));
        connection_.connect(QString::fromLatin1(WatcherService), WatcherPath, WatcherInterface,
                            QStringLiteral("StatusNotifierHostRegistered"), this,
                            SLOT(hostRegistered()));
        connection_.connect(QString::fromLatin1(WatcherService), WatcherPath, WatcherInterface,
                            QStringLiteral("StatusNotifierHostUnregistered"), this,
                            SLOT(hostUnregistered()));
    }
    registerWithWatcher();
}

void TstatusNotifierItem::hide() {
    if (!shown_)
        return;
    shown_ = false;
    // A watcher forgets an item whose bus name goes away.
    connection_.unregisterService(serviceName_);
    menu_.withdraw();
    connection_.unregisterObject(QString::fromLatin1(ObjectPath));
    setHosted(false, hostRegistered_);
}

void TstatusNotifierItem::setIcon(const QIcon& icon) {
    pixmaps_ = sniPixmaps(icon);
    emit NewIcon();
}

void TstatusNotifierItem::setToolTip(const QString& text) {
    if (text == toolTip_)
        return;
    toolTip_ = text;
    emit NewToolTip();
}

void TstatusNotifierItem::registerWithWatcher() {
    if (!shown_)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(WatcherService), WatcherPath, WatcherInterface,
        QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName_;
    auto* pending = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                if (done->isError() || !shown_) {
                    setHosted(false, hostRegistered_);
                    return;
                }
                registered_ = true;
                readHostState();
            });
}

void TstatusNotifierItem::watcherGone() {
    setHosted(false, false);
}

void TstatusNotifierItem::readHostState() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(WatcherService), WatcherPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << WatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* pending = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *done;
                // A watcher that cannot say counts as one with a host.
                const bool host = reply.isError() || reply.value().variant().toBool();
                setHosted(registered_, host);
            });
}

void TstatusNotifierItem::hostRegistered() {
    setHosted(registered_, true);
}

void TstatusNotifierItem::hostUnregistered() {
    readHostState();
}

void TstatusNotifierItem::setHosted(bool registered, bool host) {
    const bool before = hosted();
    registered_ = registered && shown_;
    hostRegistered_ = host;
    if (hosted() != before && onHostedChanged)
        onHostedChanged(hosted());
}

void TstatusNotifierItem::Activate(int x, int y) {
    // A Wayland host hands over a token first; Qt's Wayland layer uses it to raise the window
    // that the click brings forward.
    if (!activationToken_.isEmpty()) {
        qputenv("XDG_ACTIVATION_TOKEN", activationToken_.toUtf8());
        activationToken_.clear();
    }
    request(QStringLiteral("Activate"), x, y);
}

void TstatusNotifierItem::SecondaryActivate(int x, int y) {
    request(QStringLiteral("SecondaryActivate"), x, y);
}

void TstatusNotifierItem::ContextMenu(int x, int y) {
    request(QStringLiteral("ContextMenu"), x, y);
}

void TstatusNotifierItem::Scroll(int, const QString&) {}

void TstatusNotifierItem::ProvideXdgActivationToken(const QString& token) {
    activationToken_ = token;
}

void TstatusNotifierItem::request(const QString& name, int x, int y) {
    if (onRequest)
        onRequest(name, x, y);
}

} // namespace vantle
