// The desktop's notification area for the tray icon component: a StatusNotifierItem of the
// program's own on the session bus, with its menu, wherever a watcher takes it; on X11, an XEmbed
// icon through QSystemTrayIcon when no watcher shows up within a short wait.
#pragma once

#include "ui/desktopNotifier.h"
#include "ui/statusNotifierItem.h"
#include "ui/trayBackend.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>

namespace vantle {

// The tool tip for a text that must show as written: plain text stays as it is, text that Qt
// would take for markup becomes markup that shows it literally.
QString plainToolTip(const QString& text);

// Requests become the icon's picture, tool tip, show, hide and balloon; the hosts' activations
// come back as the mouse notifications of the record's callback message. A host that draws the
// menu itself reports nothing for a right click; one that asks the program to show it
// (ContextMenu), and the XEmbed icon's right click, report WM_CONTEXTMENU. Hosts that come late
// or restart get the item again by themselves, so "TaskbarCreated" never comes from here.
//
// Qt decides once per process, when the first QSystemTrayIcon is made, whether its icons go over
// D-Bus, and never looks again; so the XEmbed icon is made only once the wait is over without a
// watcher, and hidden whenever the program's own item has a host.
class TqtTrayBackend : public QObject, public TtrayBackend {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds XEmbedWait{3000};

    // On the session bus.
    explicit TqtTrayBackend(QObject* parent = nullptr);
    // On the given bus (a disconnected one: XEmbed at once, where the platform has it).
    TqtTrayBackend(const QDBusConnection& bus, std::chrono::milliseconds xembedWait,
                   QObject* parent = nullptr);
    ~TqtTrayBackend() override;

    bool notifyIcon(std::uint32_t message, const TnotifyIconData& data) override;
    // There is no version to read, which counts as the newest.
    std::uint32_t shellVersion() const override;
    // No host reports the mouse moving over the icon.
    bool sendsMouseMoves() const override;
    void setMenu(QMenu* menu) override;
    bool hosted() const override;

    const TstatusNotifierItem& item() const { return item_; }
    // The XEmbed icon; null until the program falls back to it.
    QSystemTrayIcon* xembedIcon() const { return xembed_.get(); }

private:
    void apply(const TnotifyIconData& data);
    void activated(QSystemTrayIcon::ActivationReason reason);
    void itemRequest(const QString& request);
    void itemHostedChanged(bool hosted);
    void fallBack();
    void post(std::uint32_t notification);

    TstatusNotifierItem item_;
    TdesktopNotifier notifier_;
    std::unique_ptr<QSystemTrayIcon> xembed_;
    QTimer xembedTimer_;
    bool xembedPlatform_;
    bool added_ = false;
    QIcon icon_;
    QString toolTip_;
    QPointer<QObject> window_;
    std::uint32_t callbackMessage_ = 0;
    std::uint32_t id_ = 0;
};

} // namespace vantle
