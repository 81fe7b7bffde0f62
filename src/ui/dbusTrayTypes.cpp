// Marshalling of the D-Bus tray structures, and the icon's pictures in the hosts' pixel order.
#include "ui/dbusTrayTypes.h"

#include <QDBusMetaType>
#include <QImage>
#include <QPixmap>
#include <QSize>

namespace vantle {

void registerDbusTrayTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<TsniPixmap>();
        qDBusRegisterMetaType<TsniPixmaps>();
        qDBusRegisterMetaType<TsniToolTip>();
        qDBusRegisterMetaType<TdbusMenuLayout>();
        qDBusRegisterMetaType<TdbusMenuItem>();
        qDBusRegisterMetaType<TdbusMenuItems>();
        qDBusRegisterMetaType<TdbusMenuItemKeys>();
        qDBusRegisterMetaType<TdbusMenuItemKeysList>();
        qDBusRegisterMetaType<TdbusMenuEvent>();
        qDBusRegisterMetaType<TdbusMenuEvents>();
        // Signatures name the lists by these aliases; the bus layer looks types up by name.
        qRegisterMetaType<TsniPixmaps>("vantle::TsniPixmaps");
        qRegisterMetaType<TdbusMenuItems>("vantle::TdbusMenuItems");
        qRegisterMetaType<TdbusMenuItemKeysList>("vantle::TdbusMenuItemKeysList");
        qRegisterMetaType<TdbusMenuEvents>("vantle::TdbusMenuEvents");
        return true;
    }();
    (void)registered;
}

TsniPixmaps sniPixmaps(const QIcon& icon) {
    TsniPixmaps pixmaps;
    if (icon.isNull())
        return pixmaps;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QImage image = icon.pixmap(QSize(size, size))
                           .toImage()
                           .scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_ARGB32);
        TsniPixmap pixmap{image.width(), image.height(), {}};
        pixmap.bytes.reserve(image.width() * image.height() * 4);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                pixmap.bytes.append(static_cast<char>(qAlpha(pixel)));
                pixmap.bytes.append(static_cast<char>(qRed(pixel)));
                pixmap.bytes.append(static_cast<char>(qGreen(pixel)));
                pixmap.bytes.append(static_cast<char>(qBlue(pixel)));
            }
        }
        pixmaps.append(pixmap);
    }
    return pixmaps;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TsniPixmap& pixmap) {
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.bytes;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TsniPixmap& pixmap) {
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.bytes;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TsniToolTip& toolTip) {
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.icon << toolTip.title << toolTip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TsniToolTip& toolTip) {
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.icon >> toolTip.title >> toolTip.text;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TdbusMenuLayout& layout) {
    argument.beginStructure();
    argument << layout.id << layout.properties;
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const QVariant& child : layout.children)
        argument << QDBusVariant(child);
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TdbusMenuLayout& layout) {
    argument.beginStructure();
    argument >> layout.id >> layout.properties;
    layout.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        const QVariant value = child.variant();
        // A child arrives as the raw structure; turn it into an item for the reader.
        if (value.canConvert<QDBusArgument>()) {
            TdbusMenuLayout item;
            value.value<QDBusArgument>() >> item;
            layout.children.append(QVariant::fromValue(item));
        } else {
            layout.children.append(value);
        }
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TdbusMenuItem& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TdbusMenuItem& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TdbusMenuItemKeys& keys) {
    argument.beginStructure();
    argument << keys.id << keys.names;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TdbusMenuItemKeys& keys) {
    argument.beginStructure();
    argument >> keys.id >> keys.names;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TdbusMenuEvent& event) {
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TdbusMenuEvent& event) {
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

} // namespace vantle
