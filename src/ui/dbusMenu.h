// A menu of the program offered over D-Bus (com.canonical.dbusmenu), so that a notification-area
// host can draw it itself, as its own menus, next to the icon.
#pragma once

#include "ui/dbusTrayTypes.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

namespace vantle {

// The menu's top-level items are ids 1, 2, ... in menu order under the root item 0; separators
// are items of type "separator". A click a host reports triggers the action from the event loop,
// after the host has had its answer.
class TdbusMenu : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ Version)
    Q_PROPERTY(QString TextDirection READ TextDirection)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(QStringList IconThemePath READ IconThemePath)

public:
    static constexpr const char* ObjectPath = "/MenuBar";

    explicit TdbusMenu(QObject* parent = nullptr);
    ~TdbusMenu() override;

    // The menu offered; null offers an empty one. The menu is read at each request.
    void setMenu(QMenu* menu);
    QMenu* menu() const { return menu_; }

    // Puts the object on the connection at ObjectPath; false when the path is taken.
    bool exportOn(const QDBusConnection& connection);
    void withdraw();

    uint Version() const { return 3; }
    QString TextDirection() const;
    QString Status() const { return QStringLiteral("normal"); }
    QStringList IconThemePath() const { return {}; }

    // The label as the menu protocol writes mnemonics: "_" before the key, "__" for "_".
    static QString dbusLabel(const QString& text);

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   vantle::TdbusMenuLayout& layout);
    vantle::TdbusMenuItems GetGroupProperties(const QList<int>& ids,
                                              const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const vantle::TdbusMenuEvents& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    void ItemsPropertiesUpdated(const vantle::TdbusMenuItems& updatedProps,
                                const vantle::TdbusMenuItemKeysList& removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QAction*> items() const;
    QAction* item(int id) const;
    QVariantMap properties(int id, const QStringList& names) const;
    bool click(int id);

    QPointer<QMenu> menu_;
    QDBusConnection connection_{QString()};
    bool exported_ = false;
    uint revision_ = 1;
};

} // namespace vantle
