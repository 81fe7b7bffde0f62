// The desktop's notification area for the tray icon component, through QSystemTrayIcon: a
// StatusNotifierItem where a watcher runs, an XEmbed icon otherwise.
#pragma once

#include "ui/trayBackend.h"

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <cstdint>

namespace vantle {

// The tool tip for a text that must show as written: plain text stays as it is, text that Qt
// would take for markup becomes markup that shows it literally.
QString plainToolTip(const QString& text);

// Requests become the icon's picture, tool tip, show, hide and showMessage; its activations
// come back as the mouse notifications of the record's callback message. Qt docks the icon
// again by itself when the area is re-created, so "TaskbarCreated" never comes from here.
class TqtTrayBackend : public QObject, public TtrayBackend {
    Q_OBJECT

public:
    explicit TqtTrayBackend(QObject* parent = nullptr);

    bool notifyIcon(std::uint32_t message, const TnotifyIconData& data) override;
    // There is no version to read, which counts as the newest.
    std::uint32_t shellVersion() const override;
    // Qt reports clicks but never the mouse moving over the icon.
    bool sendsMouseMoves() const override;

private:
    void apply(const TnotifyIconData& data);
    void activated(QSystemTrayIcon::ActivationReason reason);
    void post(std::uint32_t notification);

    QSystemTrayIcon icon_;
    bool added_ = false;
    QPointer<QObject> window_;
    std::uint32_t callbackMessage_ = 0;
    std::uint32_t id_ = 0;
};

} // namespace vantle
