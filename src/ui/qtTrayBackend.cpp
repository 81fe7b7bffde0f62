// QSystemTrayIcon under the tray icon component's requests and notifications.
#include "ui/qtTrayBackend.h"

#include <QCoreApplication>
#include <QTextDocument>

#include <algorithm>
#include <climits>

namespace vantle {

namespace {

QSystemTrayIcon::MessageIcon messageIcon(std::uint32_t infoFlags) {
    switch (infoFlags) {
    case NIIF_INFO:
        return QSystemTrayIcon::Information;
    case NIIF_WARNING:
        return QSystemTrayIcon::Warning;
    case NIIF_ERROR:
        return QSystemTrayIcon::Critical;
    default:
        return QSystemTrayIcon::NoIcon;
    }
}

} // namespace

QString plainToolTip(const QString& text) {
    // Qt shows a tool tip that looks like markup as rich text; the hint holds the provider's
    // names, which must read as they are written.
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpacePre) : text;
}

TqtTrayBackend::TqtTrayBackend(QObject* parent)
    : QObject(parent)
    , icon_(this) {
    icon_.setObjectName(QStringLiteral("trayIcon"));
    connect(&icon_, &QSystemTrayIcon::activated, this, &TqtTrayBackend::activated);
    connect(&icon_, &QSystemTrayIcon::messageClicked, this, [this] { post(NIN_BALLOONUSERCLICK); });
}

bool TqtTrayBackend::notifyIcon(std::uint32_t message, const TnotifyIconData& data) {
    switch (message) {
    case NIM_ADD:
        if (added_)
            return false;
        added_ = true;
        apply(data);
        icon_.show();
        return true;
    case NIM_MODIFY:
        if (!added_)
            return false;
        apply(data);
        return true;
    case NIM_DELETE:
        if (!added_)
            return false;
        added_ = false;
        icon_.hide();
        return true;
    case NIM_SETVERSION:
        // Qt's notifications do not depend on a version.
        return added_;
    default:
        return false;
    }
}

void TqtTrayBackend::apply(const TnotifyIconData& data) {
    if (data.uFlags & NIF_MESSAGE) {
        window_ = data.hWnd;
        callbackMessage_ = data.uCallbackMessage;
        id_ = data.uID;
    }
    if (data.uFlags & NIF_ICON)
        icon_.setIcon(data.hIcon);
    if (data.uFlags & NIF_TIP)
        icon_.setToolTip(plainToolTip(data.szTip));
    // An empty balloon asks to hide the current one. Qt cannot take a message back, and its
    // messages time out by themselves; showing an empty one would pop up an empty notification.
    if ((data.uFlags & NIF_INFO) && !(data.szInfoTitle.isEmpty() && data.szInfo.isEmpty()))
        icon_.showMessage(data.szInfoTitle, data.szInfo, messageIcon(data.dwInfoFlags),
                          static_cast<int>(std::min<std::uint32_t>(data.uTimeout, INT_MAX)));
}

void TqtTrayBackend::activated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        post(WM_LBUTTONDOWN);
        post(WM_LBUTTONUP);
        break;
    case QSystemTrayIcon::DoubleClick:
        post(WM_LBUTTONDBLCLK);
        break;
    case QSystemTrayIcon::Context:
        post(WM_RBUTTONDOWN);
        post(WM_RBUTTONUP);
        post(WM_CONTEXTMENU);
        break;
    case QSystemTrayIcon::MiddleClick:
        post(WM_MBUTTONDOWN);
        post(WM_MBUTTONUP);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void TqtTrayBackend::post(std::uint32_t notification) {
    // Posted, not sent: a menu the component opens then runs from the event loop, not from
    // inside Qt's mouse handling.
    if (added_ && window_)
        QCoreApplication::postEvent(
            window_,
            new TwindowMessage(callbackMessage_, id_, static_cast<std::intptr_t>(notification)));
}

std::uint32_t TqtTrayBackend::shellVersion() const {
    return UINT32_MAX;
}

bool TqtTrayBackend::sendsMouseMoves() const {
    return false;
}

} // namespace vantle
