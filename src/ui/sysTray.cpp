// The notification-area icon: its record and requests, the mouse logic, animation, balloons and
// the hiding of the application's windows.
#include "ui/sysTray.h"

#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "outputs/generate_tray.h"
#include "ui/qtTrayBackend.h"

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QCursor>
#include <QImage>
#include <QImageReader>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QScopedValueRollback>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>

namespace vantle {

namespace {

using enum TTrayVisibility;

constexpr std::uint32_t TrayIconId = 1;
constexpr int TipLimit = 127;
constexpr int OldTipLimit = 63;
constexpr int InfoLimit = 255;
constexpr int InfoTitleLimit = 63;
// The shortest time the notification area shows a balloon; shorter ones are hidden by timer.
constexpr std::uint32_t ShortestBalloon = 10000;
constexpr std::uint32_t HideBalloonTimeout = 5000;

constexpr int AnimationTimer = 1;
constexpr int BalloonTimer = 2;
constexpr int ClickTimer = 3;

// The platform's timers take 10 ms to 2^31 - 1 ms; a Delay of 0 would otherwise spin.
int timerInterval(std::uint32_t milliseconds) {
    return static_cast<int>(std::clamp<std::uint32_t>(milliseconds, 10, INT_MAX));
}

// At most limit characters, never half of a surrogate pair.
QString cut(const QString& text, int limit) {
    if (text.size() <= limit)
        return text;
    qsizetype length = limit;
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

std::uint32_t infoFlags(TBalloonKind kind) {
    switch (kind) {
    case TBalloonKind::bkError:
        return NIIF_ERROR;
    case TBalloonKind::bkInfo:
        return NIIF_INFO;
    case TBalloonKind::bkWarning:
        return NIIF_WARNING;
    case TBalloonKind::bkNone:
        break;
    }
    return NIIF_NONE;
}

TShiftState shiftState() {
    const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
    const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    TShiftState shift;
    shift.setFlag(TShiftFlag::ssShift, keys.testFlag(Qt::ShiftModifier));
    shift.setFlag(TShiftFlag::ssAlt, keys.testFlag(Qt::AltModifier));
    shift.setFlag(TShiftFlag::ssCtrl, keys.testFlag(Qt::ControlModifier));
    shift.setFlag(TShiftFlag::ssLeft, buttons.testFlag(Qt::LeftButton));
    shift.setFlag(TShiftFlag::ssRight, buttons.testFlag(Qt::RightButton));
    shift.setFlag(TShiftFlag::ssMiddle, buttons.testFlag(Qt::MiddleButton));
    return shift;
}

// Windows that carry a taskbar entry: what hiding the application takes off the screen.
bool isTaskbarWindow(const QWidget* w) {
    const Qt::WindowType type = w->windowType();
    return w->isWindow() && (type == Qt::Window || type == Qt::Dialog) &&
           !w->windowFlags().testFlag(Qt::BypassWindowManagerHint);
}

bool sameIcons(const QList<QIcon>& a, const QList<QIcon>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const QIcon& x, const QIcon& y) { return x.cacheKey() == y.cacheKey(); });
}

template <typename Action> void reportFailures(Action&& action) {
    try {
        action();
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    } catch (...) {
        runtime::outputDebugString("Unknown failure in the tray icon");
    }
}

template <typename Action> void dropFailures(Action&& action) {
    try {
        action();
    } catch (...) {
    }
}

} // namespace

TzintraSysTray::TzintraSysTray(QObject* parent)
    : TzintraSysTray(std::make_unique<TqtTrayBackend>(), parent) {}

TzintraSysTray::TzintraSysTray(std::unique_ptr<TtrayBackend> backend, QObject* parent)
    : QObject(parent)
    , backend_(std::move(backend))
    , taskbarCreated_(registerWindowMessage("TaskbarCreated"))
    , visibility_{tvVisibleTaskBar, tvVisibleTaskList, tvAutoHide}
    , animationTimer_(this)
    , balloonTimer_(this)
    , clickTimer_(this) {
    if (!backend_)
        throw Error("The tray icon has no notification area to talk to");
    animationTimer_.setObjectName(QStringLiteral("animationTimer"));
    balloonTimer_.setObjectName(QStringLiteral("balloonTimer"));
    clickTimer_.setObjectName(QStringLiteral("clickTimer"));
    balloonTimer_.setSingleShot(true);
    clickTimer_.setSingleShot(true);
    connect(&animationTimer_, &QTimer::timeout, this, [this] { timerFired(AnimationTimer); });
    connect(&balloonTimer_, &QTimer::timeout, this, [this] { timerFired(BalloonTimer); });
    connect(&clickTimer_, &QTimer::timeout, this, [this] { timerFired(ClickTimer); });
    LoadDefaultIcon();
}

TzintraSysTray::~TzintraSysTray() {
    clickTimer_.stop();
    balloonTimer_.stop();
    reportFailures([this] { SetActive(false); });
}

// --- Properties --------------------------------------------------------------------------

void TzintraSysTray::SetActive(bool value) {
    if (loading_) {
        loadedActive_ = value;
        return;
    }
    if (value == active_)
        return;
    active_ = value;
    if (value) {
        InitIconData();
        HookApp();
        ShowIcon();
    } else {
        StopAnimation();
        UnhookApp();
        HideIcon();
    }
}

void TzintraSysTray::SetAnimated(bool value) {
    if (value == animated_)
        return;
    animated_ = value;
    if (value)
        StartAnimation();
    else
        StopAnimation();
}

void TzintraSysTray::SetDelay(unsigned value) {
    if (value == delay_)
        return;
    // Stopping and starting again makes a running animation take the new interval.
    const bool wasAnimated = animated_;
    SetAnimated(false);
    delay_ = value;
    SetAnimated(wasAnimated);
}

void TzintraSysTray::SetHint(const QString& value) {
    QString text = value;
    if (!shell5())
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" - "));
    if (text == hint_)
        return;
    hint_ = text;
    hintChanged_ = true;
    // The tip normally reaches the area when the mouse next moves over the icon; where no such
    // notification comes, it would never change.
    if (!backend_->sendsMouseMoves())
        pushTip();
}

void TzintraSysTray::SetIcon(const QIcon& value) {
    icon_ = value;
    UpdateIcon();
}

void TzintraSysTray::SetIcon(std::nullptr_t) {
    LoadDefaultIcon();
}

void TzintraSysTray::LoadIconFromFile(const QString& path) {
    QImageReader reader(path);
    QIcon loaded;
    for (;;) {
        const QImage image = reader.read();
        if (image.isNull())
            break;
        loaded.addPixmap(QPixmap::fromImage(image));
        if (!reader.jumpToNextImage())
            break;
    }
    if (loaded.isNull())
        throw Error("Cannot read the icon " + path.toStdString() + ": " +
                    reader.errorString().toStdString());
    SetIcon(loaded);
}

void TzintraSysTray::SetIconIndex(int value) {
    if (value == iconIndex_)
        return;
    iconIndex_ = value;
    UpdateIcon();
}

void TzintraSysTray::SetIcons(const QList<QIcon>& value) {
    if (sameIcons(value, icons_))
        return;
    icons_ = value;
    UpdateIcon();
}

QIcon TzintraSysTray::programIcon() {
    // Neutral: before the first poll no wedge may pass for a share of the quota.
    QIcon icon;
    for (const int size : TrayIconSizes)
        icon.addPixmap(QPixmap::fromImage(drawNeutralMeter(size)));
    return icon;
}

void TzintraSysTray::SetPopupMenu(QMenu* value) {
    popupMenu_ = value;
    backend_->setMenu(value);
}

void TzintraSysTray::SetVisibility(TTrayVisibilities value) {
    if (value == visibility_)
        return;
    const TTrayVisibilities added = value - visibility_;
    const TTrayVisibilities removed = visibility_ - value;
    visibility_ = value;
    if (!active_)
        return;
    SetTaskListVisible(value.contains(tvVisibleTaskList));
    if (added.contains(tvAutoHide) && !AppVisible())
        HideApp();
    if (added.contains(tvVisibleTaskBar))
        ShowApp();
    else if (removed.contains(tvVisibleTaskBar))
        HideApp();
    if (added.contains(tvAutoHideIcon) && !appMinimized())
        HideIcon();
    if (removed.contains(tvAutoHideIcon) && !appMinimized())
        ShowIcon();
}

void TzintraSysTray::BeginLoading() {
    loading_ = true;
    loadedActive_ = active_;
}

void TzintraSysTray::Loaded() {
    loading_ = false;
    UpdateIcon();
    if (!loadedActive_)
        return;
    SetActive(true);
    if (!visibility_.contains(tvVisibleTaskBar)) {
        hideAppWindow();
        startedHidden_ = true;
    }
    if (!visibility_.contains(tvVisibleTaskList))
        SetTaskListVisible(false);
}

// --- Shell record -------------------------------------------------------------------------

bool TzintraSysTray::shell5() const {
    return backend_->shellVersion() >= ShellVersion5;
}

QString TzintraSysTray::shortHint() const {
    const qsizetype bar = hint_.indexOf(QLatin1Char('|'));
    return cut(bar < 0 ? hint_ : hint_.left(bar), shell5() ? TipLimit : OldTipLimit);
}

void TzintraSysTray::InitIconData() {
    data_.cbSize = 488;
    if (shell5())
        data_.uVersion = NOTIFYICON_VERSION;
    data_.hWnd = this;
    data_.uID = TrayIconId;
    data_.uCallbackMessage = WM_TRAYCALLBACK;
    data_.hIcon = displayIcon_;
    data_.szTip = shortHint();
    data_.uFlags = 0;
}

bool TzintraSysTray::NotifyShell(std::uint32_t flags, std::uint32_t message) {
    data_.uFlags = flags;
    const bool done = backend_->notifyIcon(message, data_);
    data_.uFlags = 0;
    return done;
}

void TzintraSysTray::ShowIcon() {
    if (iconAdded_ || !active_)
        return;
    if (visibility_.contains(tvAutoHideIcon) && AppVisible())
        return;
    iconAdded_ = true;
    NotifyShell(NIF_MESSAGE | NIF_ICON | NIF_TIP, NIM_ADD);
    if (shell5()) {
        data_.uVersion = NOTIFYICON_VERSION;
        NotifyShell(0, NIM_SETVERSION);
    }
    if (animated_)
        StartAnimation();
}

void TzintraSysTray::HideIcon() {
    if (!iconAdded_)
        return;
    iconAdded_ = false;
    StopAnimation();
    NotifyShell(0, NIM_DELETE);
}

// --- Icon selection -----------------------------------------------------------------------

void TzintraSysTray::UpdateIcon() {
    if (loading_)
        return;
    if (iconIndex_ >= 0 && iconIndex_ < icons_.size())
        SetDisplayIcon(icons_.at(iconIndex_));
    else if (icon_.isNull())
        LoadDefaultIcon();
    else
        SetDisplayIcon(icon_);
}

void TzintraSysTray::SetDisplayIcon(const QIcon& source) {
    displayIcon_ = source;
    data_.hIcon = displayIcon_;
    if (iconAdded_)
        NotifyShell(NIF_ICON, NIM_MODIFY);
}

void TzintraSysTray::LoadDefaultIcon() {
    SetDisplayIcon(programIcon());
}

// --- Window procedure ---------------------------------------------------------------------

bool TzintraSysTray::event(QEvent* e) {
    if (e->type() != TwindowMessage::eventType())
        return QObject::event(e);
    auto& message = static_cast<TwindowMessage&>(*e);
    reportFailures([&] { TrayWndProc(message); });
    return true;
}

void TzintraSysTray::TrayWndProc(TwindowMessage& message) {
    switch (message.message) {
    case WM_QUERYENDSESSION:
        message.result = 1;
        return;
    case WM_ENDSESSION:
        if (message.wParam != 0)
            HideIcon();
        return;
    case WM_TRAYCALLBACK:
        dispatchCallback(message);
        return;
    default:
        if (message.message == taskbarCreated_ && iconAdded_) {
            // The area was re-created and has forgotten the icon.
            HideIcon();
            ShowIcon();
        }
        return;
    }
}

void TzintraSysTray::dispatchCallback(TwindowMessage& message) {
    const QPoint cursor = QCursor::pos();
    const int x = cursor.x();
    const int y = cursor.y();
    const TShiftState shift = shiftState();
    using enum TMouseButton;
    switch (message.lParam) {
    case WM_MOUSEMOVE:
        DoMouseMove(shift, x, y);
        break;
    case WM_LBUTTONDOWN:
        DoMouseDown(mbLeft, shift, x, y);
        break;
    case WM_RBUTTONDOWN:
        DoMouseDown(mbRight, shift, x, y);
        break;
    case WM_MBUTTONDOWN:
        DoMouseDown(mbMiddle, shift, x, y);
        break;
    case WM_LBUTTONUP:
        DoMouseUp(mbLeft, shift, x, y);
        break;
    case WM_RBUTTONUP:
        DoMouseUp(mbRight, shift, x, y);
        break;
    case WM_MBUTTONUP:
        DoMouseUp(mbMiddle, shift, x, y);
        break;
    case WM_LBUTTONDBLCLK:
        DoDblClick(mbLeft, shift, x, y);
        break;
    case WM_RBUTTONDBLCLK:
        DoDblClick(mbRight, shift, x, y);
        break;
    case WM_MBUTTONDBLCLK:
        DoDblClick(mbMiddle, shift, x, y);
        break;
    case WM_CONTEXTMENU:
    case NIN_KEYSELECT:
        DoContextPopup(x, y);
        break;
    case NIN_BALLOONHIDE:
        message.result = 1;
        dropFailures([this] {
            if (OnBalloonHide)
                OnBalloonHide(*this);
        });
        break;
    case NIN_BALLOONTIMEOUT: {
        message.result = 1;
        const double elapsed =
            std::abs(runtime::now() - balloonRequested_) * runtime::SecondsPerDay;
        if (static_cast<std::uint64_t>(std::llround(elapsed * 1000.0)) / 1000 >
            balloonTimeoutSeconds_)
            HideBalloons();
        break;
    }
    case NIN_BALLOONUSERCLICK:
        message.result = 1;
        dropFailures([this] {
            if (OnBalloonClick)
                OnBalloonClick(*this);
        });
        HideBalloons();
        break;
    default:
        break;
    }
}

void TzintraSysTray::timerFired(int id) {
    reportFailures([&] {
        switch (id) {
        case AnimationTimer:
            AnimateStep();
            break;
        case BalloonTimer:
            balloonTimer_.stop();
            HideBalloons();
            break;
        case ClickTimer:
            clickTimer_.stop();
            if (clickPending_) {
                clickPending_ = false;
                DoClick(pendingClick_.button, pendingClick_.shift, pendingClick_.x,
                        pendingClick_.y);
            }
            break;
        default:
            break;
        }
    });
}

// --- Mouse --------------------------------------------------------------------------------

void TzintraSysTray::pushTip() {
    hintChanged_ = false;
    data_.szTip = shortHint();
    if (iconAdded_)
        NotifyShell(NIF_TIP, NIM_MODIFY);
}

void TzintraSysTray::DoMouseMove(TShiftState shift, int x, int y) {
    if (hintChanged_)
        pushTip();
    if (OnMouseMove)
        OnMouseMove(*this, shift, x, y);
}

void TzintraSysTray::DoMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    buttonDown_ = true;
    if (OnMouseDown)
        OnMouseDown(*this, button, shift, x, y);
}

bool TzintraSysTray::clickWanted(TMouseButton button) const {
    if (OnClick)
        return true;
    return button == TMouseButton::mbLeft &&
           (dropDownMenu_ || visibility_.contains(tvRestoreClick) ||
            visibility_.contains(tvMinimizeClick));
}

void TzintraSysTray::DoMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    // An up without a down before it is the end of a double-click: no click.
    if (buttonDown_) {
        buttonDown_ = false;
        if (!OnDblClick) {
            if (!DoClick(button, shift, x, y))
                return;
        } else if (clickWanted(button)) {
            pendingClick_ = {button, shift, x, y};
            if (!clickPending_) {
                clickPending_ = true;
                clickTimer_.start(QApplication::doubleClickInterval());
            }
        }
    }
    if (OnMouseUp)
        OnMouseUp(*this, button, shift, x, y);
    // Areas before 5.0 send no WM_CONTEXTMENU.
    if (button == TMouseButton::mbRight && !shell5())
        DoContextPopup(x, y);
}

bool TzintraSysTray::DoClick(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnClick)
        OnClick(*this, button, shift, x, y);
    if (button != TMouseButton::mbLeft)
        return true;
    if (dropDownMenu_ && !showMenu(dropDownMenu_, x, y))
        return false;
    if (AppVisible()) {
        if (visibility_.contains(tvMinimizeClick))
            HideApp();
    } else if (visibility_.contains(tvRestoreClick)) {
        ShowApp();
    }
    return true;
}

void TzintraSysTray::DoDblClick(TMouseButton button, TShiftState shift, int x, int y) {
    if (clickPending_) {
        clickPending_ = false;
        clickTimer_.stop();
    }
    if (OnDblClick) {
        OnDblClick(*this, button, shift, x, y);
        return;
    }
    if (button != TMouseButton::mbLeft)
        return;
    if (popupMenu_) {
        QAction* item = popupMenu_->defaultAction();
        if (item && popupMenu_->actions().contains(item)) {
            const QPointer<TzintraSysTray> alive(this);
            item->trigger();
            if (!alive)
                return;
        }
    }
    if (AppVisible()) {
        if (visibility_.contains(tvMinimizeDbClick))
            HideApp();
    } else if (visibility_.contains(tvRestoreDbClick)) {
        ShowApp();
    }
}

void TzintraSysTray::DoContextPopup(int x, int y) {
    bool handled = false;
    if (OnContextPopup)
        OnContextPopup(*this, QPoint(x, y), handled);
    if (!handled && popupMenu_)
        showMenu(popupMenu_, x, y);
}

bool TzintraSysTray::showMenu(QMenu* menu, int x, int y) {
    // A Wayland client cannot place a menu at a point of the screen: without a window of the
    // program under the mouse it would open as a window of its own, filling the screen. There
    // the area's own drawing of the menu is the only one.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return true;
    // The menu grabs the mouse and closes on a click elsewhere by itself; it returns once closed.
    const QPointer<TzintraSysTray> alive(this);
    menu->exec(QPoint(x, y));
    return !alive.isNull();
}

// --- Animation ----------------------------------------------------------------------------

void TzintraSysTray::StartAnimation() {
    if (!iconAdded_ || animating_)
        return;
    animating_ = true;
    animationTimer_.start(timerInterval(delay_));
}

void TzintraSysTray::StopAnimation() {
    if (!animating_)
        return;
    animating_ = false;
    animationTimer_.stop();
}

void TzintraSysTray::AnimateStep() {
    if (!iconAdded_ || icons_.isEmpty())
        return;
    const auto count = static_cast<long long>(icons_.size());
    SetIconIndex(iconIndex_ < 0 ? 0 : static_cast<int>((iconIndex_ + 1LL) % count));
    if (OnAnimate)
        OnAnimate(*this, iconIndex_);
}

// --- Balloons -----------------------------------------------------------------------------

void TzintraSysTray::ShowBalloon(const QString& title, const QString& text, TBalloonKind kind,
                                 std::uint32_t timeout, bool hideFirst) {
    if (!shell5())
        return;
    if (hideFirst)
        HideBalloons();
    balloonRequested_ = runtime::now();
    balloonTimeoutSeconds_ = timeout / 1000;
    data_.szInfoTitle = cut(title, InfoTitleLimit);
    data_.szInfo = cut(text, InfoLimit);
    data_.uTimeout = timeout;
    data_.dwInfoFlags = infoFlags(kind);
    NotifyShell(NIF_INFO, NIM_MODIFY);
    const bool shown = !title.isEmpty() || !text.isEmpty();
    balloonCount_ = shown ? balloonCount_ + 1 : std::max(0, balloonCount_ - 1);
    if (shown && timeout < ShortestBalloon)
        balloonTimer_.start(timerInterval(timeout));
    if (OnBalloonShow)
        OnBalloonShow(*this);
}

void TzintraSysTray::HideBalloons() {
    // One empty request per balloon shown, and one more: each takes one off the counter.
    const int shown = balloonCount_;
    for (int i = 0; i <= shown; ++i)
        ShowBalloon(QString(), QString(), TBalloonKind::bkNone, HideBalloonTimeout, false);
}

// --- Application windows ------------------------------------------------------------------

std::vector<QWidget*> TzintraSysTray::shownWindows() const {
    std::vector<QWidget*> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (isTaskbarWindow(w) && w->isVisible())
            windows.push_back(w);
    }
    return windows;
}

bool TzintraSysTray::appMinimized() const {
    std::vector<QWidget*> windows = shownWindows();
    for (const QPointer<QWidget>& w : hiddenWindows_) {
        if (w && std::find(windows.begin(), windows.end(), w.data()) == windows.end())
            windows.push_back(w);
    }
    return !windows.empty() &&
           std::all_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isMinimized(); });
}

void TzintraSysTray::minimizeApp() {
    for (QWidget* w : shownWindows())
        w->showMinimized();
    for (const QPointer<QWidget>& w : hiddenWindows_) {
        if (w)
            w->setWindowState(w->windowState() | Qt::WindowMinimized);
    }
}

void TzintraSysTray::restoreApp() {
    for (QWidget* w : shownWindows()) {
        if (w->isMinimized())
            w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    }
}

void TzintraSysTray::hideAppWindow() {
    std::erase_if(hiddenWindows_, [](const QPointer<QWidget>& w) { return w.isNull(); });
    for (QWidget* w : shownWindows()) {
        w->hide();
        hiddenWindows_.emplace_back(w);
    }
}

void TzintraSysTray::showAppWindow() {
    const std::vector<QPointer<QWidget>> windows = std::move(hiddenWindows_);
    hiddenWindows_.clear();
    for (const QPointer<QWidget>& w : windows) {
        if (w)
            w->show();
    }
}

bool TzintraSysTray::AppVisible() const {
    return !startedHidden_ && !appMinimized();
}

void TzintraSysTray::HideApp() {
    // The windows' own state changes below are not the user minimising.
    const QScopedValueRollback busy(inAppControl_, true);
    if (AppVisible()) {
        if (snap_ && mainForm_)
            mainForm_->hide();
        minimizeApp();
    }
    hideAppWindow();
    visibility_ = visibility_ - tvVisibleTaskBar;
    if (visibility_.contains(tvAutoHideIcon))
        ShowIcon();
}

void TzintraSysTray::ShowApp() {
    const QScopedValueRollback busy(inAppControl_, true);
    if (startedHidden_) {
        startedHidden_ = false;
        minimizeApp();
    }
    visibility_ = visibility_ + tvVisibleTaskBar;
    showAppWindow();
    restoreApp();
    if (mainForm_)
        mainForm_->show();
    if (visibility_.contains(tvAutoHideIcon))
        HideIcon();
}

void TzintraSysTray::HookApp() {
    if (appHooked_ || !QCoreApplication::instance())
        return;
    appHooked_ = true;
    QCoreApplication::instance()->installEventFilter(this);
}

void TzintraSysTray::UnhookApp() {
    if (!appHooked_)
        return;
    appHooked_ = false;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

bool TzintraSysTray::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::WindowStateChange || inAppControl_)
        return false;
    const auto* w = qobject_cast<QWidget*>(watched);
    const auto* change = static_cast<QWindowStateChangeEvent*>(e);
    const bool minimised = w && isTaskbarWindow(w) && w->isMinimized() &&
                           !change->oldState().testFlag(Qt::WindowMinimized);
    // The window goes on minimising as usual; hiding it now would be undone when the minimising
    // shows it, so the application hides once that is over.
    if (minimised && visibility_.contains(tvAutoHide) && active_) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (visibility_.contains(tvAutoHide) && active_)
                    reportFailures([this] { HideApp(); });
            },
            Qt::QueuedConnection);
    }
    return false;
}

void TzintraSysTray::SetTaskListVisible(bool value) {
    if (value == taskListVisible_)
        return;
    // Linux has no task list to leave: the state is only kept.
    taskListVisible_ = value;
}

} // namespace vantle
