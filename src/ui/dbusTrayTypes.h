// The structures that notification-area hosts and menu renderers exchange with the program over
// D-Bus: icon pictures, the tool tip, and the menu's items.
#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QIcon>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

namespace vantle {

// One picture: width, height and its pixels as ARGB32 in network byte order, (iiay).
struct TsniPixmap {
    int width = 0;
    int height = 0;
    QByteArray bytes;
};
using TsniPixmaps = QList<TsniPixmap>;

// Icon name, icon pictures, title and text, (sa(iiay)ss).
struct TsniToolTip {
    QString iconName;
    TsniPixmaps icon;
    QString title;
    QString text;
};

// One menu item with its properties and its children (each a variant holding an item),
// (ia{sv}av).
struct TdbusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QVariantList children;
};

// An item's properties, (ia{sv}).
struct TdbusMenuItem {
    int id = 0;
    QVariantMap properties;
};
using TdbusMenuItems = QList<TdbusMenuItem>;

// Property names taken off an item, (ias).
struct TdbusMenuItemKeys {
    int id = 0;
    QStringList names;
};
using TdbusMenuItemKeysList = QList<TdbusMenuItemKeys>;

// One event of a group, (isvu).
struct TdbusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using TdbusMenuEvents = QList<TdbusMenuEvent>;

// Makes the types above known to Qt's D-Bus layer; safe to call more than once.
void registerDbusTrayTypes();

// The icon at each size a panel asks for, from 16 to 64 pixels: sizes the icon lacks are
// scaled from its nearest one.
TsniPixmaps sniPixmaps(const QIcon& icon);

QDBusArgument& operator<<(QDBusArgument& argument, const TsniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, TsniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const TsniToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, TsniToolTip& toolTip);
QDBusArgument& operator<<(QDBusArgument& argument, const TdbusMenuLayout& layout);
const QDBusArgument& operator>>(const QDBusArgument& argument, TdbusMenuLayout& layout);
QDBusArgument& operator<<(QDBusArgument& argument, const TdbusMenuItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, TdbusMenuItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const TdbusMenuItemKeys& keys);
const QDBusArgument& operator>>(const QDBusArgument& argument, TdbusMenuItemKeys& keys);
QDBusArgument& operator<<(QDBusArgument& argument, const TdbusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, TdbusMenuEvent& event);

} // namespace vantle

Q_DECLARE_METATYPE(vantle::TsniPixmap)
Q_DECLARE_METATYPE(vantle::TsniToolTip)
Q_DECLARE_METATYPE(vantle::TdbusMenuLayout)
Q_DECLARE_METATYPE(vantle::TdbusMenuItem)
Q_DECLARE_METATYPE(vantle::TdbusMenuItemKeys)
Q_DECLARE_METATYPE(vantle::TdbusMenuEvent)
