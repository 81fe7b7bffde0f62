// The program's StatusNotifierItem first, the XEmbed icon only as the fallback of X11 desktops
// without a watcher.
#include "ui/qtTrayBackend.h"

#include <QCoreApplication>
#include <QGuiApplication>
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

// Wayland has no XEmbed: there a watcher is the only way into a panel.
bool hasXEmbed() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

QString plainToolTip(const QString& text) {
    // Qt shows a tool tip that looks like markup as rich text; the hint holds the provider's
    // names, which must read as they are written.
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpacePre) : text;
}

TqtTrayBackend::TqtTrayBackend(QObject* parent)
    : TqtTrayBackend(QDBusConnection::sessionBus(), XEmbedWait, parent) {}

TqtTrayBackend::TqtTrayBackend(const QDBusConnection& bus, std::chrono::milliseconds xembedWait,
                               QObject* parent)
    : QObject(parent)
    , item_(bus, this)
    , notifier_(bus, this)
    , xembedTimer_(this)
    , xembedPlatform_(hasXEmbed()) {
    xembedTimer_.setSingleShot(true);
    xembedTimer_.setInterval(xembedWait);
    connect(&xembedTimer_, &QTimer::timeout, this, &TqtTrayBackend::fallBack);
    item_.onRequest = [this](const QString& request, int, int) { itemRequest(request); };
    item_.onHostedChanged = [this](bool hosted) { itemHostedChanged(hosted); };
}

TqtTrayBackend::~TqtTrayBackend() {
    item_.onRequest = nullptr;
    item_.onHostedChanged = nullptr;
}

bool TqtTrayBackend::notifyIcon(std::uint32_t message, const TnotifyIconData& data) {
    switch (message) {
    case NIM_ADD:
        if (added_)
            return false;
        added_ = true;
        apply(data);
        item_.show();
        if (!item_.connected())
            fallBack();
        else if (xembedPlatform_)
            xembedTimer_.start();
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
        xembedTimer_.stop();
        item_.hide();
        if (xembed_)
            xembed_->hide();
        return true;
    case NIM_SETVERSION:
        // The notifications do not depend on a version.
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
    if (data.uFlags & NIF_ICON) {
        icon_ = data.hIcon;
        item_.setIcon(icon_);
        if (xembed_)
            xembed_->setIcon(icon_);
    }
    if (data.uFlags & NIF_TIP) {
        toolTip_ = data.szTip;
        item_.setToolTip(toolTip_);
        if (xembed_)
            xembed_->setToolTip(plainToolTip(toolTip_));
    }
    // An empty balloon asks to hide the current one; nothing can take a message back, and
    // messages time out by themselves, so an empty one would only pop up an empty notification.
    if ((data.uFlags & NIF_INFO) && !(data.szInfoTitle.isEmpty() && data.szInfo.isEmpty())) {
        const int timeout = static_cast<int>(std::min<std::uint32_t>(data.uTimeout, INT_MAX));
        if (xembed_ && xembed_->isVisible())
            xembed_->showMessage(data.szInfoTitle, data.szInfo, messageIcon(data.dwInfoFlags),
                                 timeout);
        else
            notifier_.notify(data.szInfoTitle, data.szInfo, timeout);
    }
}

void TqtTrayBackend::fallBack() {
    if (!added_ || item_.hosted() || !xembedPlatform_)
        return;
    if (!xembed_) {
        xembed_ = std::make_unique<QSystemTrayIcon>();
        xembed_->setObjectName(QStringLiteral("trayIcon"));
        connect(xembed_.get(), &QSystemTrayIcon::activated, this, &TqtTrayBackend::activated);
        connect(xembed_.get(), &QSystemTrayIcon::messageClicked, this,
                [this] { post(NIN_BALLOONUSERCLICK); });
    }
    xembed_->setIcon(icon_);
    xembed_->setToolTip(plainToolTip(toolTip_));
    xembed_->show();
}

void TqtTrayBackend::itemHostedChanged(bool hosted) {
    if (hosted) {
        // One icon only: the item's, with its menu drawn by the host.
        xembedTimer_.stop();
        if (xembed_)
            xembed_->hide();
    } else if (added_ && xembedPlatform_ && !(xembed_ && xembed_->isVisible())) {
        xembedTimer_.start();
    }
}

void TqtTrayBackend::setMenu(QMenu* menu) {
    // The XEmbed icon gets no menu of Qt's: the component shows its own there, once.
    item_.setMenu(menu);
}

bool TqtTrayBackend::hosted() const {
    if (!added_)
        return false;
    if (item_.hosted())
        return true;
    // Made only after the wait, Qt's own choice of road is no longer at stake here.
    return xembed_ && xembed_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
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

void TqtTrayBackend::itemRequest(const QString& request) {
    if (request == QLatin1String("Activate")) {
        post(WM_LBUTTONDOWN);
        post(WM_LBUTTONUP);
    } else if (request == QLatin1String("SecondaryActivate")) {
        post(WM_MBUTTONDOWN);
        post(WM_MBUTTONUP);
    } else if (request == QLatin1String("ContextMenu")) {
        post(WM_RBUTTONDOWN);
        post(WM_RBUTTONUP);
        post(WM_CONTEXTMENU);
    }
}

void TqtTrayBackend::post(std::uint32_t notification) {
    // Posted, not sent: a menu the component opens then runs from the event loop, not from
    // inside Qt's mouse handling or a D-Bus call.
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
