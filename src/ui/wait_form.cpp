// The wait window: hand-placed children on a white, silver-framed borderless window; the
// animation runs on the user-interface thread and pumps its events at every step.
#include "ui/wait_form.h"

#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "lib/runtime/Numbers.h"

#include <QApplication>
#include <QColor>
#include <QCursor>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

// The frames are compiled into this static library; nothing else would pull them in.
static void initWaitFrames() {
    Q_INIT_RESOURCE(waitFrames);
}

namespace vantle {
namespace {

constexpr int designClientWidth = 300;
constexpr int minimumClientHeight = 40;
constexpr int imageMargin = 4;
constexpr int blurbTopMargin = 3;
constexpr int blurbRightMargin = 3;
constexpr int blurbBottomMargin = 3;
constexpr int barLeft = 41;
constexpr int barRightGap = 3;  // 300 - 41 - 256
constexpr int barBottomGap = 4; // 40 - 28 - 8
constexpr int barHeight = 8;
constexpr int textWidthSlack = 12;
constexpr int buttonWidth = 75;
constexpr int buttonHeight = 25;
constexpr int buttonGap = 8;
const QColor silver(192, 192, 192);

std::unique_ptr<TwaitFrm> waitFrm;

// The screen cursor is one setting, not a stack: set it, or take every override away.
void setScreenCursorBusy() {
    if (QGuiApplication::overrideCursor() != nullptr)
        QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void resetScreenCursor() {
    while (QGuiApplication::overrideCursor() != nullptr)
        QGuiApplication::restoreOverrideCursor();
}

QString withLineFeeds(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

TwaitFrm& theWaitFrm() {
    if (!waitFrm) {
        waitFrm = std::make_unique<TwaitFrm>(TwaitFrm::LoadFrames());
        // Widgets must go before the application does.
        qAddPostRoutine([] { waitFrm.reset(); });
    }
    return *waitFrm;
}

void ShowWait(const QString& text, QWidget* owner, bool withProgress, double percent) {
    setScreenCursorBusy();
    TwaitFrm& window = theWaitFrm();
    window.owner_ = owner;
    window.SetText(text);
    if (withProgress)
        window.SetProgress(percent);
    else
        window.HideProgress();
    window.ShowCentred();
}

void ShowWaitText(QWidget* owner, const QString& text) {
    ShowWait(text, owner, false, 0);
}

void ShowWaitCancellable(QWidget* owner, const QString& text, std::function<void()> onCancel) {
    TwaitFrm& window = theWaitFrm();
    // The button is there before the window is sized and centred; HideWait takes it away.
    if (!window.isVisible()) {
        window.cancelBtn->setEnabled(true);
        window.cancelBtn->show();
    }
    window.onCancel_ = std::move(onCancel);
    ShowWait(text, owner, false, 0);
    window.activateWindow();
    window.cancelBtn->setFocus(Qt::OtherFocusReason);
}

void HideWait() {
    if (waitFrm) {
        if (QWidget* owner = waitFrm->owner_) {
            owner->unsetCursor();
            owner->setEnabled(true);
            owner->raise();
            owner->activateWindow();
        }
        waitFrm->animTimer->stop();
        waitFrm->onCancel_ = nullptr;
        waitFrm->cancelBtn->hide();
        waitFrm->hide();
        if (QWindow* window = waitFrm->windowHandle())
            window->setTransientParent(nullptr);
    }
    resetScreenCursor();
}

TwaitFrm::TwaitFrm(std::vector<QImage> frames)
    // A dialog, so that window managers are told whose window it is (WM_TRANSIENT_FOR).
    : QWidget(nullptr, Qt::Dialog | Qt::FramelessWindowHint)
    , waitImg(new QLabel(this))
    , blurb(new QLabel(this))
    , progressBar(new QProgressBar(this))
    , cancelBtn(new QPushButton(QStringLiteral("Cancel"), this))
    , animTimer(new QTimer(this))
    , frames_(std::move(frames))
    , pictureWidth_(frames_.front().width())
    , pictureHeight_(frames_.front().height())
    , designWidth_(designClientWidth) {
    setObjectName(QStringLiteral("waitFrm"));
    setWindowTitle(QStringLiteral("Please Wait..."));
    setCursor(Qt::WaitCursor);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Sans Serif")});
    font.setPixelSize(11);
    setFont(font);

    waitImg->setObjectName(QStringLiteral("waitImg"));
    waitImg->setAlignment(Qt::AlignCenter);
    blurb->setObjectName(QStringLiteral("blurb"));
    blurb->setTextFormat(Qt::PlainText);
    blurb->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    blurb->setText(QStringLiteral("Reticulating Splines...."));
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setTextVisible(false);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->hide();
    cancelBtn->setObjectName(QStringLiteral("cancelBtn"));
    cancelBtn->hide();
    connect(cancelBtn, &QPushButton::clicked, this, &TwaitFrm::cancelBtnClick);
    animTimer->setObjectName(QStringLiteral("animTimer"));
    animTimer->setInterval(100);
    connect(animTimer, &QTimer::timeout, this, &TwaitFrm::animTimerTimer);

    resize(designClientWidth,
           std::max(imageMargin + pictureHeight_ + imageMargin, minimumClientHeight));
    layOut();
    DrawFrame(0);
}

std::vector<QImage> TwaitFrm::LoadFrames(const QString& folder) {
    static const bool registered = (initWaitFrames(), true);
    (void)registered;
    std::vector<QImage> frames;
    for (int i = 1;; ++i) {
        QImage frame;
        if (!frame.load(folder + QStringLiteral("/W%1").arg(i), "PNG"))
            break;
        frames.push_back(std::move(frame));
    }
    if (frames.empty())
        throw Error("Failed to load wait_form images");
    frames.reserve(2 * frames.size());
    for (std::size_t i = frames.size() - 1; i >= 2; --i)
        frames.push_back(frames[i - 1]);
    return frames;
}

void TwaitFrm::SetText(const QString& text) {
    QString full = text;
    if (!full.contains(QLatin1Char('\r')) && !full.endsWith(QStringLiteral("...")))
        full += QStringLiteral("...");
    const QString shown = withLineFeeds(full);
    if (blurb->text() != shown)
        blurb->setText(shown);

    fitWidth();
}

void TwaitFrm::fitWidth() {
    const QFontMetrics metrics(blurb->font());
    const int button = cancelBtn->isHidden() ? 0 : buttonWidth + buttonGap;
    int width = designWidth_;
    for (const QString& line : blurb->text().split(QLatin1Char('\n')))
        width = std::max(width, metrics.horizontalAdvance(line) + pictureWidth_ + blurbRightMargin +
                                    textWidthSlack + button);
    resize(width, height());
    layOut();
}

void TwaitFrm::cancelBtnClick() {
    if (!onCancel_ || !cancelBtn->isEnabled())
        return;
    cancelBtn->setEnabled(false);
    const std::function<void()> cancel = onCancel_;
    SetText(QStringLiteral("Cancelling"));
    cancel();
}

void TwaitFrm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && !cancelBtn->isHidden()) {
        cancelBtnClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TwaitFrm::SetProgress(double percent) {
    // Written so that NaN counts as below the range.
    const int value = !(percent >= 0) ? 0
                      : percent > 100 ? 100
                                      : static_cast<int>(runtime::roundHalfEven(percent));
    // Qt's bar draws a new value at once; no animation to outrun.
    if (value != progressBar->value())
        progressBar->setValue(value);
    if (progressBar->isHidden()) {
        blurbBottomMargin_ = barHeight + 6;
        progressBar->show();
        layOut();
    }
}

void TwaitFrm::HideProgress() {
    progressBar->hide();
    progressBar->setValue(0);
    blurbBottomMargin_ = blurbBottomMargin;
    layOut();
}

void TwaitFrm::ShowCentred() {
    if (!isVisible()) {
        QRect over;
        const bool overOwner = owner_ && owner_->isVisible();
        if (overOwner) {
            // Disabled first: the events pumped from here on must not reach it.
            owner_->setEnabled(false);
            owner_->unsetCursor();
            over = owner_->frameGeometry();
        } else {
            over = QGuiApplication::primaryScreen()->geometry();
        }
        // A window manager keeps a transient window above the one it belongs to; without it
        // the wait window, and its Cancel, can open behind a modal dialog.
        winId();
        windowHandle()->setTransientParent(overOwner ? owner_->window()->windowHandle() : nullptr);
        move(over.left() + over.width() / 2 - width() / 2,
             over.top() + over.height() / 2 - height() / 2);
        if (!frames_.empty())
            animTimer->start();
        show();
    }
    QApplication::processEvents();
}

void TwaitFrm::animTimerTimer() {
    animTimer->stop();
    try {
        frameIndex_ = (frameIndex_ + 1) % static_cast<int>(frames_.size());
        DrawFrame(frameIndex_);
    } catch (const std::exception& failure) {
        runtime::outputDebugString(failure.what());
    }
    // The events pumped while drawing may have hidden the window; then the animation is over.
    if (isVisible())
        animTimer->start();
}

void TwaitFrm::DrawFrame(int index) {
    QImage canvas(waitImg->size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    const QImage& frame = frames_.at(static_cast<std::size_t>(index));
    painter.drawImage((canvas.width() - frame.width()) / 2, (canvas.height() - frame.height()) / 2,
                      frame);
    painter.end();
    waitImg->setPixmap(QPixmap::fromImage(canvas));
    waitImg->repaint();
    QApplication::processEvents();
}

void TwaitFrm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(silver);
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

void TwaitFrm::resizeEvent(QResizeEvent*) {
    layOut();
}

// The image keeps to the left, the bar to the bottom edge, the text takes the rest.
void TwaitFrm::layOut() {
    waitImg->setGeometry(imageMargin, imageMargin, pictureWidth_, height() - 2 * imageMargin);
    const int blurbLeft = imageMargin + pictureWidth_ + imageMargin;
    const int button = cancelBtn->isHidden() ? 0 : buttonWidth + buttonGap;
    blurb->setGeometry(blurbLeft, blurbTopMargin, width() - blurbLeft - blurbRightMargin - button,
                       height() - blurbTopMargin - blurbBottomMargin_);
    cancelBtn->setGeometry(width() - buttonGap - buttonWidth, (height() - buttonHeight) / 2,
                           buttonWidth, buttonHeight);
    progressBar->setGeometry(barLeft, height() - barBottomGap - barHeight,
                             width() - barLeft - barRightGap, barHeight);
}

} // namespace vantle
