// The status window: the status page in an HTML view, given the status document on every load
// and the updated text once a minute while visible; the renderer is freed while it is hidden.
#include "ui/status_form.h"

#include "config/configuration.h"
#include "history/historyRecorder.h"
#include "lib/runtime/DateTime.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Strings.h"
#include "lib/utils/FileUtils.h"
#include "lib/utils/WindowsUtils.h"
#include "outputs/failureText.h"
#include "outputs/generate_json.h"
#include "outputs/textHelpers.h"
#include "ui/pageViewLoader.h"

#include <QFont>
#include <QGuiApplication>
#include <QHideEvent>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace vantle {

std::string scriptLiteral(std::string_view text) {
    // Line breaks would end the literal; the status document never holds raw ones, but the
    // literal must stand for any text.
    std::string literal = runtime::replaceAll(text, "\\", "\\\\");
    literal = runtime::replaceAll(literal, "'", "\\'");
    literal = runtime::replaceAll(literal, "\n", "\\n");
    return runtime::replaceAll(literal, "\r", "\\r");
}

TstatusFrm::TstatusFrm(Tconfiguration& configuration, TfailureReporter reportException)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , configuration_(configuration)
    , reportException_(std::move(reportException)) {
    setObjectName(QStringLiteral("statusFrm"));
    setWindowTitle(QStringLiteral("vantle"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    updatedTimer_.setInterval(UpdatedInterval);
    connect(&updatedTimer_, &QTimer::timeout, this, &TstatusFrm::updatedTimerTimer);
    SetColumns(2);
}

TstatusFrm::~TstatusFrm() = default;

void TstatusFrm::Reload() {
    configuration_.load();
    LoadStatus();
}

void TstatusFrm::LoadStatus() {
    if (!browser_ || browser_->ReadyState() != TpageView::ReadyStateComplete)
        return;
    std::string text;
    int columns = 2;
    std::error_code ec;
    if (std::filesystem::exists(configuration_.statusFile, ec)) {
        try {
            text = ReadFileText(configuration_.statusFile);
            columns = trafficCount(text);
        } catch (const std::exception& e) {
            // A document that cannot be read is as none: the wait text stands in until the
            // next poll writes it again.
            runtime::outputDebugString(e.what());
            text.clear();
        }
    }
    SetColumns(columns);
    try {
        browser_->ExecScript("load('" + scriptLiteral(text) + "')");
        // Under the update time, or in place of the wait text: why the figures are not fresh.
        browser_->ExecScript("setFailure('" +
                             scriptLiteral(lastFailureText(configuration_, runtime::now())) + "')");
        // The usage history, below the current figures in elements of its own.
        browser_->ExecScript("setHistory('" + scriptLiteral(readHistoryChart(configuration_)) +
                             "')");
    } catch (...) {
        report(std::current_exception());
    }
}

void TstatusFrm::SetColumns(int n) {
    columns_ = std::max(n, 2);
    applyGeometry();
}

void TstatusFrm::applyGeometry() {
    // The frame is known only once the window system has framed the window.
    const int frame = frameGeometry().height() - geometry().height();
    const int sides = std::max(frameGeometry().width() - geometry().width(), 0);
    // However many types the provider lists, the window stays on the screen; the page scrolls.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    std::int64_t width = std::int64_t{columns_} * ColumnWidth;
    if (screen != nullptr)
        width = std::min<std::int64_t>(
            width, std::max(screen->availableGeometry().width() - sides, 2 * ColumnWidth));
    const QSize before = size();
    setFixedSize(static_cast<int>(std::min<std::int64_t>(width, QWIDGETSIZE_MAX)),
                 WindowHeight - std::max(frame, 0));
    // A document with more traffic types widens the window: it stays in the middle.
    if (centred_ && size() != before) {
        centre();
    } else if (screen != nullptr && isVisible()) {
        // A window that grew past the screen's right edge moves back onto it.
        const QRect free = screen->availableGeometry();
        const int overhang = frameGeometry().left() + this->width() + sides - 1 - free.right();
        if (overhang > 0)
            move(std::max(free.left(), frameGeometry().left() - overhang), frameGeometry().top());
    }
}

void TstatusFrm::centre() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    const QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2,
         area.y() + (area.height() - outer.height()) / 2);
}

void TstatusFrm::FormShow() {
    if (!centred_) {
        centred_ = true;
        centre();
    }
    if (!browser_) {
        // The engine costs several times the rest of the program: it is loaded on first use.
        try {
            browser_ = createPageView(this);
        } catch (...) {
            report(std::current_exception());
            return;
        }
        browser_->widget()->setObjectName(QStringLiteral("browser"));
        layout()->addWidget(browser_->widget());
        browser_->OnRefresh = [this](bool* cancel) { BrowserRefresh(cancel); };
        browser_->OnDocumentComplete = [this] { BrowserDocumentComplete(); };
        try {
            browser_->NavigateToFile(configuration_.htmlFolder + "status.html");
        } catch (...) {
            report(std::current_exception());
        }
    } else if (!browser_->isLive()) {
        browser_->Restore();
    }
    if (browser_->ReadyState() == TpageView::ReadyStateComplete)
        updatedTimerTimer();
    updatedTimer_.start();
}

void TstatusFrm::FormHide() {
    updatedTimer_.stop();
    if (browser_ && !keepPageWhileHidden_)
        browser_->Discard();
    TrimWorkingSet();
}

void TstatusFrm::updatedTimerTimer() {
    if (!browser_)
        return;
    try {
        browser_->ExecScript("setUpdated('" + scriptLiteral(updatedText(configuration_)) + "')");
    } catch (...) {
        report(std::current_exception());
    }
}

void TstatusFrm::BrowserRefresh(bool* cancel) {
    *cancel = true;
}

void TstatusFrm::BrowserDocumentComplete() {
    try {
        if (!isVisible())
            return;
        browser_->FocusDocument();
        LoadStatus();
        updatedTimerTimer();
    } catch (...) {
        report(std::current_exception());
    }
}

// The window system's own show and hide notices (a desktop switch) change nothing: only
// showing and hiding by the program or by closing the window count.
void TstatusFrm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    applyGeometry();
    FormShow();
}

void TstatusFrm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

void TstatusFrm::report(const std::exception_ptr& failure) const {
    if (reportException_) {
        reportException_(failure);
        return;
    }
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    } catch (...) {
        runtime::outputDebugString("Unknown failure");
    }
}

} // namespace vantle
