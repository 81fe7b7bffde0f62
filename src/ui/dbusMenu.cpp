// The menu protocol over the QMenu's top-level actions; the menu's own changes bump the layout
// revision so that hosts read it again.
#include "ui/dbusMenu.h"

#include <QAction>
#include <QActionEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QMetaObject>

namespace vantle {

TdbusMenu::TdbusMenu(QObject* parent)
    : QObject(parent) {
    registerDbusTrayTypes();
}

TdbusMenu::~TdbusMenu() {
    withdraw();
}

void TdbusMenu::setMenu(QMenu* menu) {
    if (menu_ == menu)
        return;
    if (menu_)
        menu_->removeEventFilter(this);
    menu_ = menu;
    if (menu_)
        menu_->installEventFilter(this);
    ++revision_;
    emit LayoutUpdated(revision_, 0);
}

bool TdbusMenu::exportOn(const QDBusConnection& connection) {
    withdraw();
    connection_ = connection;
    exported_ = connection_.registerObject(QString::fromLatin1(ObjectPath), this,
                                           QDBusConnection::ExportAllSlots |
                                               QDBusConnection::ExportAllSignals |
                                               QDBusConnection::ExportAllProperties);
    return exported_;
}

void TdbusMenu::withdraw() {
    if (exported_)
        connection_.unregisterObject(QString::fromLatin1(ObjectPath));
    exported_ = false;
}

QString TdbusMenu::TextDirection() const {
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

QString TdbusMenu::dbusLabel(const QString& text) {
    QString label;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('_')) {
            label += QStringLiteral("__");
        } else if (c == QLatin1Char('&')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('&')) {
                label += QLatin1Char('&');
                ++i;
            } else if (i + 1 < text.size()) {
                label += QLatin1Char('_');
            }
        } else {
            label += c;
        }
    }
    return label;
}

QList<QAction*> TdbusMenu::items() const {
    return menu_ ? menu_->actions() : QList<QAction*>{};
}

QAction* TdbusMenu::item(int id) const {
    const QList<QAction*> actions = items();
    return id >= 1 && id <= actions.size() ? actions.at(id - 1) : nullptr;
}

QVariantMap TdbusMenu::properties(int id, const QStringList& names) const {
    QVariantMap all;
    if (id == 0) {
        all.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    } else if (const QAction* action = item(id)) {
        if (action->isSeparator()) {
            all.insert(QStringLiteral("type"), QStringLiteral("separator"));
        } else {
            all.insert(QStringLiteral("label"), dbusLabel(action->text()));
            all.insert(QStringLiteral("enabled"), action->isEnabled());
        }
        all.insert(QStringLiteral("visible"), action->isVisible());
    }
    if (names.isEmpty())
        return all;
    QVariantMap chosen;
    for (const QString& name : names)
        if (all.contains(name))
            chosen.insert(name, all.value(name));
    return chosen;
}

uint TdbusMenu::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                          TdbusMenuLayout& layout) {
    layout = TdbusMenuLayout{parentId, properties(parentId, propertyNames), {}};
    // Only the root has children; a depth of 0 asks for the item alone.
    if (parentId == 0 && recursionDepth != 0) {
        const auto count = static_cast<int>(items().size());
        for (int id = 1; id <= count; ++id)
            layout.children.append(
                QVariant::fromValue(TdbusMenuLayout{id, properties(id, propertyNames), {}}));
    }
    return revision_;
}

TdbusMenuItems TdbusMenu::GetGroupProperties(const QList<int>& ids,
                                             const QStringList& propertyNames) {
    TdbusMenuItems result;
    for (const int id : ids)
        if (id == 0 || item(id) != nullptr)
            result.append(TdbusMenuItem{id, properties(id, propertyNames)});
    return result;
}

QDBusVariant TdbusMenu::GetProperty(int id, const QString& name) {
    return QDBusVariant(properties(id, {}).value(name));
}

void TdbusMenu::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (eventId == QLatin1String("clicked"))
        click(id);
}

QList<int> TdbusMenu::EventGroup(const TdbusMenuEvents& events) {
    QList<int> errors;
    for (const TdbusMenuEvent& event : events) {
        if (event.id != 0 && item(event.id) == nullptr)
            errors.append(event.id);
        else if (event.eventId == QLatin1String("clicked"))
            click(event.id);
    }
    return errors;
}

bool TdbusMenu::AboutToShow(int) {
    return false;
}

QList<int> TdbusMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    idErrors.clear();
    for (const int id : ids)
        if (id != 0 && item(id) == nullptr)
            idErrors.append(id);
    return {};
}

bool TdbusMenu::click(int id) {
    QAction* action = item(id);
    if (action == nullptr || action->isSeparator() || !action->isEnabled())
        return false;
    // A command may open a modal dialog: it runs once the host has its answer.
    QMetaObject::invokeMethod(
        action,
        [action] {
            if (action->isEnabled())
                action->trigger();
        },
        Qt::QueuedConnection);
    return true;
}

bool TdbusMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched == menu_ &&
        (event->type() == QEvent::ActionAdded || event->type() == QEvent::ActionRemoved ||
         event->type() == QEvent::ActionChanged)) {
        ++revision_;
        emit LayoutUpdated(revision_, 0);
    }
    return false;
}

} // namespace vantle
