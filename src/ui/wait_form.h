// The wait window: a small borderless window with an animated star, a text and an optional
// progress bar, shown over a disabled form while the user-interface thread does a long job.
#pragma once

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace vantle {

// Sets the hourglass, shows the window centred over owner (or the screen when owner is null or
// hidden) and disables owner. Called while the window shows, it only updates text and progress.
// The first call raises "Failed to load wait_form images" when no frame can be loaded.
void ShowWait(const QString& text, QWidget* owner, bool withProgress, double percent);
void ShowWaitText(QWidget* owner, const QString& text);
// ShowWaitText with a Cancel button (Esc too): the first press calls onCancel and says
// "Cancelling" until HideWait. The button shows only while the caller can still stop its job.
void ShowWaitCancellable(QWidget* owner, const QString& text, std::function<void()> onCancel);
// Hides the window and gives owner back its input; must follow every ShowWait, failures too.
void HideWait();

// The one window behind the operations above, created on first use and kept hidden after.
class TwaitFrm : public QWidget {
    Q_OBJECT

public:
    // Takes the frames in play order; there must be at least one.
    explicit TwaitFrm(std::vector<QImage> frames);

    // "..." is appended to a one-line text; a text with carriage returns is taken as it is.
    // The window widens to the longest line, never below its design width.
    void SetText(const QString& text);
    // Shows the bar at percent, clamped to 0..100 and rounded half to even.
    void SetProgress(double percent);
    void HideProgress();
    void ShowCentred();

    // The frames W1, W2, ... read from folder until one is missing or unreadable, followed by
    // the inner ones backwards so that the list plays forwards and back.
    static std::vector<QImage> LoadFrames(const QString& folder = QStringLiteral(":/wait"));
    const std::vector<QImage>& frames() const { return frames_; }
    int frameIndex() const { return frameIndex_; }

public slots:
    void animTimerTimer();
    void cancelBtnClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend void ShowWait(const QString&, QWidget*, bool, double);
    friend void ShowWaitCancellable(QWidget*, const QString&, std::function<void()>);
    friend void HideWait();
    friend TwaitFrm& theWaitFrm();

    void DrawFrame(int index);
    void layOut();
    void fitWidth();

    QLabel* waitImg;
    QLabel* blurb;
    QProgressBar* progressBar;
    QPushButton* cancelBtn;
    QTimer* animTimer;
    std::function<void()> onCancel_;

    QPointer<QWidget> owner_;
    std::vector<QImage> frames_;
    int frameIndex_ = 0;
    int pictureWidth_;
    int pictureHeight_;
    int designWidth_;
    int blurbBottomMargin_ = 3;
};

} // namespace vantle
