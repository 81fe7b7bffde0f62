// The program's icon in the desktop's notification area: the icon and its tip, mouse events,
// menus, animation, balloon tips, and hiding the application's windows to the icon.
#pragma once

#include "lib/runtime/DateTime.h"
#include "ui/trayBackend.h"

#include <QFlags>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

namespace vantle {

class TzintraSysTray;

enum class TTrayVisibility {
    tvVisibleTaskBar,  // the application's windows are shown; adding restores, removing hides
    tvVisibleTaskList, // the process stays in the task list
    tvAutoHide,        // minimising a window hides the application to the icon
    tvAutoHideIcon,    // the icon is shown only while the application is hidden or minimised
    tvVisibleDesign,   // the icon is also shown at design time (there is none here)
    tvRestoreClick,    // a left click restores a hidden application
    tvRestoreDbClick,  // a left double-click restores a hidden application
    tvMinimizeClick,   // a left click hides a visible application
    tvMinimizeDbClick, // a left double-click hides a visible application
};

// A set of TTrayVisibility; bit n stands for value n.
class TTrayVisibilities {
public:
    constexpr TTrayVisibilities() = default;
    constexpr TTrayVisibilities(std::initializer_list<TTrayVisibility> values) {
        for (const TTrayVisibility v : values)
            bits_ = static_cast<std::uint16_t>(bits_ | bit(v));
    }
    static constexpr TTrayVisibilities fromBits(std::uint16_t bits) {
        TTrayVisibilities set;
        set.bits_ = bits;
        return set;
    }

    constexpr std::uint16_t bits() const { return bits_; }
    constexpr bool contains(TTrayVisibility v) const { return (bits_ & bit(v)) != 0; }
    constexpr TTrayVisibilities operator+(TTrayVisibility v) const {
        return fromBits(static_cast<std::uint16_t>(bits_ | bit(v)));
    }
    constexpr TTrayVisibilities operator-(TTrayVisibility v) const {
        return fromBits(static_cast<std::uint16_t>(bits_ & ~bit(v)));
    }
    constexpr TTrayVisibilities operator-(TTrayVisibilities other) const {
        return fromBits(static_cast<std::uint16_t>(bits_ & ~other.bits_));
    }
    friend constexpr bool operator==(TTrayVisibilities, TTrayVisibilities) = default;

private:
    static constexpr std::uint16_t bit(TTrayVisibility v) {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(v));
    }
    std::uint16_t bits_ = 0;
};

enum class TBalloonKind { bkNone, bkError, bkInfo, bkWarning };
enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Keys and buttons held down when a notification was handled.
enum class TShiftFlag : std::uint8_t {
    ssShift = 0x01,
    ssAlt = 0x02,
    ssCtrl = 0x04,
    ssLeft = 0x08,
    ssRight = 0x10,
    ssMiddle = 0x20,
};
using TShiftState = QFlags<TShiftFlag>;
Q_DECLARE_OPERATORS_FOR_FLAGS(TShiftState)

// Event handlers. X and Y are the cursor's screen position when the notification was handled.
using TMouseEvent = std::function<void(TzintraSysTray& sender, TMouseButton button,
                                       TShiftState shift, int x, int y)>;
using TMouseMoveEvent =
    std::function<void(TzintraSysTray& sender, TShiftState shift, int x, int y)>;
using TAnimateEvent = std::function<void(TzintraSysTray& sender, int imageIndex)>;
using TNotifyEvent = std::function<void(TzintraSysTray& sender)>;
// Setting handled keeps the popup menu closed.
using TContextPopupEvent =
    std::function<void(TzintraSysTray& sender, QPoint mousePos, bool& handled)>;

// Everything runs on the thread that created the object. A failure raised by a handler goes
// to the diagnostic sink; one raised by OnBalloonHide or OnBalloonClick is dropped.
class TzintraSysTray : public QObject {
    Q_OBJECT

public:
    // Over the desktop's notification area (QSystemTrayIcon).
    explicit TzintraSysTray(QObject* parent = nullptr);
    // Over another area, such as a test's recording one; raises Error for none.
    explicit TzintraSysTray(std::unique_ptr<TtrayBackend> backend, QObject* parent = nullptr);
    ~TzintraSysTray() override;
    TzintraSysTray(const TzintraSysTray&) = delete;
    TzintraSysTray& operator=(const TzintraSysTray&) = delete;

    // While True the icon is in the notification area (unless tvAutoHideIcon keeps it out).
    bool Active() const { return active_; }
    void SetActive(bool value);

    // Cycles IconIndex through Icons every Delay milliseconds while the icon is shown.
    bool Animated() const { return animated_; }
    void SetAnimated(bool value);
    unsigned Delay() const { return delay_; }
    void SetDelay(unsigned value);

    // The static icon; an empty one shows the program's icon.
    const QIcon& Icon() const { return icon_; }
    void SetIcon(const QIcon& value);
    // No icon: shows the program's icon and leaves Icon as it is.
    void SetIcon(std::nullptr_t);
    // Raises Error when the file holds no readable picture.
    void LoadIconFromFile(const QString& path);
    // An index into Icons takes precedence over Icon while it is valid.
    int IconIndex() const { return iconIndex_; }
    void SetIconIndex(int value);
    const QList<QIcon>& Icons() const { return icons_; }
    void SetIcons(const QList<QIcon>& value);
    // What the program shows when it has no icon of its own: a neutral meter at every size.
    static QIcon programIcon();

    // The tip is the text before the first "|".
    const QString& Hint() const { return hint_; }
    void SetHint(const QString& value);

    // Shown on a left click.
    QMenu* DropDownMenu() const { return dropDownMenu_; }
    void SetDropDownMenu(QMenu* value) { dropDownMenu_ = value; }
    // Shown on a right click; its default action runs on a left double-click. Areas that draw
    // menus themselves get it to show as theirs.
    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* value);

    // Whether a notification area shows the icon now.
    bool Hosted() const { return backend_->hosted(); }

    // Hiding the application also hides the main form instead of only minimising it.
    bool Snap() const { return snap_; }
    void SetSnap(bool value) { snap_ = value; }
    // The window the application restores with (none by default).
    QWidget* MainForm() const { return mainForm_; }
    void SetMainForm(QWidget* value) { mainForm_ = value; }

    TTrayVisibilities Visibility() const { return visibility_; }
    void SetVisibility(TTrayVisibilities value);

    // Properties set between the two calls take effect together, Active last; when the icon
    // is then active without tvVisibleTaskBar, the application starts hidden.
    void BeginLoading();
    void Loaded();

    // Title and text are cut to 63 and 255 characters; timeout is in milliseconds, and one
    // under 10 s is kept by a timer of its own. Nothing happens on areas before 5.0.
    void ShowBalloon(const QString& title, const QString& text, TBalloonKind kind,
                     std::uint32_t timeout, bool hideFirst);
    // Takes back every balloon shown since the last call.
    void HideBalloons();

    TAnimateEvent OnAnimate;
    TMouseEvent OnClick;
    TMouseEvent OnDblClick;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnBalloonShow;
    TNotifyEvent OnBalloonHide;
    TNotifyEvent OnBalloonClick;
    TContextPopupEvent OnContextPopup;

protected:
    // The window procedure: TwindowMessage events.
    bool event(QEvent* e) override;
    // The application hook: a window being minimised.
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void TrayWndProc(TwindowMessage& message);
    void dispatchCallback(TwindowMessage& message);
    void timerFired(int id);

    bool shell5() const;
    QString shortHint() const;
    void InitIconData();
    bool NotifyShell(std::uint32_t flags, std::uint32_t message);
    void ShowIcon();
    void HideIcon();

    void UpdateIcon();
    void SetDisplayIcon(const QIcon& source);
    void LoadDefaultIcon();

    void DoMouseMove(TShiftState shift, int x, int y);
    void DoMouseDown(TMouseButton button, TShiftState shift, int x, int y);
    void DoMouseUp(TMouseButton button, TShiftState shift, int x, int y);
    // False when the component was destroyed while a menu was open.
    bool DoClick(TMouseButton button, TShiftState shift, int x, int y);
    void DoDblClick(TMouseButton button, TShiftState shift, int x, int y);
    void DoContextPopup(int x, int y);
    bool clickWanted(TMouseButton button) const;
    bool showMenu(QMenu* menu, int x, int y);
    void pushTip();

    void StartAnimation();
    void StopAnimation();
    void AnimateStep();

    bool AppVisible() const;
    void HideApp();
    void ShowApp();
    void HookApp();
    void UnhookApp();
    void SetTaskListVisible(bool value);
    std::vector<QWidget*> shownWindows() const;
    bool appMinimized() const;
    void minimizeApp();
    void restoreApp();
    void hideAppWindow();
    void showAppWindow();

    std::unique_ptr<TtrayBackend> backend_;
    std::uint32_t taskbarCreated_;
    TnotifyIconData data_;

    bool active_ = false;
    bool animated_ = false;
    QIcon icon_;
    QIcon displayIcon_;
    int iconIndex_ = 0;
    QList<QIcon> icons_;
    QString hint_;
    QPointer<QMenu> dropDownMenu_;
    QPointer<QMenu> popupMenu_;
    unsigned delay_ = 100;
    bool snap_ = false;
    QPointer<QWidget> mainForm_;
    TTrayVisibilities visibility_;

    bool loading_ = false;
    bool loadedActive_ = false;
    bool taskListVisible_ = true;
    int balloonCount_ = 0;
    TDateTime balloonRequested_ = 0;
    std::uint32_t balloonTimeoutSeconds_ = 0;

    struct PendingClick {
        TMouseButton button = TMouseButton::mbLeft;
        TShiftState shift;
        int x = 0;
        int y = 0;
    };
    PendingClick pendingClick_;

    bool iconAdded_ = false;
    bool animating_ = false;
    bool appHooked_ = false;
    bool hintChanged_ = false;
    bool clickPending_ = false;
    bool startedHidden_ = false;
    bool buttonDown_ = false;

    bool inAppControl_ = false;
    // The windows the application's hiding took off the screen, for showing them again.
    std::vector<QPointer<QWidget>> hiddenWindows_;

    QTimer animationTimer_; // timer 1
    QTimer balloonTimer_;   // timer 2
    QTimer clickTimer_;     // timer 3
};

} // namespace vantle
