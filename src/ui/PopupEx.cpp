// The popup-menu watcher: one application-wide event filter over the menus' show and hide.
#include "ui/PopupEx.h"

#include <QApplication>
#include <QMenu>
#include <QWidget>

#include <algorithm>

namespace vantle {

TExPopupList::TExPopupList(QObject* mainForm, QObject* parent)
    : QObject(parent)
    , mainForm_(mainForm) {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
}

TExPopupList::~TExPopupList() {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

bool TExPopupList::eventFilter(QObject* watched, QEvent* e) {
    const QEvent::Type type = e->type();
    if (type != QEvent::Show && type != QEvent::Hide)
        return false;
    auto* menu = qobject_cast<QMenu*>(watched);
    if (!menu || !menu->isWindow())
        return false;
    // A menu destroyed while open sends no hide.
    std::erase_if(open_, [](const QPointer<QMenu>& m) { return m.isNull(); });
    const auto found = std::find(open_.begin(), open_.end(), menu);
    if (type == QEvent::Show && found == open_.end()) {
        open_.emplace_back(menu);
        if (open_.size() == 1)
            notify(WM_POPUPENTERLOOP);
    } else if (type == QEvent::Hide && found != open_.end()) {
        open_.erase(found);
        if (open_.empty()) {
            notify(WM_POPUPCLOSED);
            notify(WM_RESETTRIM);
        }
    }
    return false;
}

void TExPopupList::notify(int message) {
    QObject* target = QApplication::activeWindow();
    if (!target || qobject_cast<QMenu*>(target))
        target = mainForm_;
    if (!target)
        return;
    QEvent event(popupEventType(message));
    QCoreApplication::sendEvent(target, &event);
}

} // namespace vantle
