// The status window: shows the status page with the current status document and keeps its
// "Updated ... ago" text fresh while it is open. The page's engine exists only once the window
// has been shown, and its renderer only while the window is visible.
#pragma once

#include "ui/pageView.h"

#include <QTimer>
#include <QWidget>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vantle {

class Tconfiguration;

// The text as the body of a JavaScript single-quoted string literal.
std::string scriptLiteral(std::string_view text);

class TstatusFrm : public QWidget {
    Q_OBJECT

public:
    // Files a report of a failure the window caught; shows nothing.
    using TfailureReporter = std::function<void(const std::exception_ptr& failure)>;

    static constexpr int ColumnWidth = 190;
    static constexpr int WindowHeight = 460;
    static constexpr int UpdatedInterval = 60000;

    // Hidden; the page view is made when the window is first shown, its engine loaded then.
    // Without a reporter, failures go to the diagnostic sink.
    explicit TstatusFrm(Tconfiguration& configuration, TfailureReporter reportException = {});
    ~TstatusFrm() override;

    // Re-reads the settings file, then LoadStatus.
    void Reload();
    // Hands the status document (or, without one or when it cannot be read, the empty text) to
    // the page. Does nothing unless the page is complete. A failure of the page is reported.
    void LoadStatus();
    // Client width max(n, 2) columns, never wider than the screen; outer height WindowHeight.
    void SetColumns(int n);
    // Keeps the page's renderer while the window is hidden, for a process that ends soon after
    // the window closes: reopening then shows the page at once.
    void setKeepPageWhileHidden(bool keep) { keepPageWhileHidden_ = keep; }

    // The page view; null until the window has been shown, and while its module cannot load.
    TpageView* browser() const { return browser_.get(); }
    const QTimer& updatedTimer() const { return updatedTimer_; }

    void FormShow();
    void FormHide();
    // Hands the page the updated text.
    void updatedTimerTimer();
    void BrowserRefresh(bool* cancel);
    // The page has loaded: focus it and give it the current document.
    void BrowserDocumentComplete();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void report(const std::exception_ptr& failure) const;
    void applyGeometry();
    // The whole window, frame included, in the middle of its screen's free area.
    void centre();

    Tconfiguration& configuration_;
    TfailureReporter reportException_;
    std::unique_ptr<TpageView> browser_;
    QTimer updatedTimer_;
    int columns_ = 2;
    bool centred_ = false;
    bool keepPageWhileHidden_ = false;
};

} // namespace vantle
