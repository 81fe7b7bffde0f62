// Tells a form when a popup menu opens and closes, so that it can act once the menu is gone.
#pragma once

#include <QEvent>
#include <QMenu>
#include <QObject>
#include <QPointer>

#include <vector>

namespace vantle {

// Sent as QEvents of these types, with nothing more to them.
inline constexpr int WM_RESETTRIM = 0xAFFD;      // the menu loop ended
inline constexpr int WM_POPUPENTERLOOP = 0xAFFE; // a menu opened
inline constexpr int WM_POPUPCLOSED = 0xAFFF;    // the menu closed

inline QEvent::Type popupEventType(int message) {
    return static_cast<QEvent::Type>(message);
}

// Watches every menu of the application while it lives. The first popup menu to open sends
// WM_POPUPENTERLOOP; when the last open one (submenus included) closes, WM_POPUPCLOSED and then
// WM_RESETTRIM follow. Each is sent synchronously to the active window when there is one, else
// to the main form.
class TExPopupList : public QObject {
    Q_OBJECT

public:
    explicit TExPopupList(QObject* mainForm, QObject* parent = nullptr);
    ~TExPopupList() override;
    TExPopupList(const TExPopupList&) = delete;
    TExPopupList& operator=(const TExPopupList&) = delete;

    QObject* mainForm() const { return mainForm_; }
    void setMainForm(QObject* value) { mainForm_ = value; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void notify(int message);

    QPointer<QObject> mainForm_;
    std::vector<QPointer<QMenu>> open_;
};

} // namespace vantle
