// The program's icon as a StatusNotifierItem on the session bus: the item object, its menu, and
// its registration with the desktop's StatusNotifierWatcher, renewed whenever a watcher appears
// (a panel that starts after the program, or restarts).
#pragma once

#include "ui/dbusMenu.h"
#include "ui/dbusTrayTypes.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>

namespace vantle {

class TstatusNotifierItem : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ Category)
    Q_PROPERTY(QString Id READ Id)
    Q_PROPERTY(QString Title READ Title)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(int WindowId READ WindowId)
    Q_PROPERTY(QString IconThemePath READ IconThemePath)
    Q_PROPERTY(QDBusObjectPath Menu READ Menu)
    Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
    Q_PROPERTY(QString IconName READ IconName)
    Q_PROPERTY(vantle::TsniPixmaps IconPixmap READ IconPixmap)
    Q_PROPERTY(QString OverlayIconName READ OverlayIconName)
    Q_PROPERTY(vantle::TsniPixmaps OverlayIconPixmap READ OverlayIconPixmap)
    Q_PROPERTY(QString AttentionIconName READ AttentionIconName)
    Q_PROPERTY(vantle::TsniPixmaps AttentionIconPixmap READ AttentionIconPixmap)
    Q_PROPERTY(QString AttentionMovieName READ AttentionMovieName)
    Q_PROPERTY(vantle::TsniToolTip ToolTip READ ToolTip)

public:
    static constexpr const char* WatcherService = "org.kde.StatusNotifierWatcher";
    static constexpr const char* ObjectPath = "/StatusNotifierItem";

    // On the session bus; the item shows nothing until show().
    explicit TstatusNotifierItem(QObject* parent = nullptr);
    TstatusNotifierItem(const QDBusConnection& connection, QObject* parent);
    ~TstatusNotifierItem() override;

    // False when there is no bus to talk to.
    bool connected() const { return connection_.isConnected(); }
    // A watcher has taken the item and says that a host shows it.
    bool hosted() const { return registered_ && hostRegistered_; }
    const QString& serviceName() const { return serviceName_; }

    // Offers the item on the bus and registers it with every watcher that appears.
    void show();
    // Takes it off the bus; watchers drop it when its name goes.
    void hide();
    bool shown() const { return shown_; }

    void setIcon(const QIcon& icon);
    void setToolTip(const QString& text);
    void setMenu(QMenu* menu) { menu_.setMenu(menu); }

    // Called with the host's request: "Activate", "SecondaryActivate" or "ContextMenu".
    std::function<void(const QString& request, int x, int y)> onRequest;
    // Called when hosted() changes.
    std::function<void(bool hosted)> onHostedChanged;

    QString Category() const { return QStringLiteral("ApplicationStatus"); }
    QString Id() const;
    QString Title() const;
    QString Status() const { return QStringLiteral("Active"); }
    int WindowId() const { return 0; }
    QString IconThemePath() const { return {}; }
    QDBusObjectPath Menu() const;
    bool ItemIsMenu() const { return false; }
    QString IconName() const { return {}; }
    TsniPixmaps IconPixmap() const { return pixmaps_; }
    QString OverlayIconName() const { return {}; }
    TsniPixmaps OverlayIconPixmap() const { return {}; }
    QString AttentionIconName() const { return {}; }
    TsniPixmaps AttentionIconPixmap() const { return {}; }
    QString AttentionMovieName() const { return {}; }
    TsniToolTip ToolTip() const;

public slots:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);
    void ProvideXdgActivationToken(const QString& token);

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);
    void NewMenu();

private slots:
    void hostRegistered();
    void hostUnregistered();

private:
    void registerWithWatcher();
    void watcherGone();
    void readHostState();
    void setHosted(bool registered, bool host);
    void request(const QString& name, int x, int y);

    QDBusConnection connection_;
    QString serviceName_;
    QDBusServiceWatcher watcher_;
    TdbusMenu menu_;
    TsniPixmaps pixmaps_;
    QString toolTip_;
    QString activationToken_;
    bool shown_ = false;
    bool registered_ = false;
    bool hostRegistered_ = false;
    bool watching_ = false;
};

} // namespace vantle
