#include "main_form.h"

#include "SingleInstance.h"
#include "noTrayFallback.h"
#include "startProblems.h"
#include "statusWindowLink.h"

#include "config/configuration.h"
#include "crash/MadExceptHelper.h"
#include "crash/crashEngine.h"
#include "lib/runtime/DateTime.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "lib/utils/FileUtils.h"
#include "lib/utils/WindowsUtils.h"
#include "outputs/alerts.h"
#include "poll/pollCycle.h"
#include "ui/VCLutils.h"
#include "ui/about_form.h"
#include "ui/alertPresenter.h"
#include "ui/config_form.h"
#include "ui/desktopNotifier.h"
#include "ui/sysTray.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>

#include <algorithm>
#include <cstdint>
#include <filesystem>

namespace vantle {

TmainFrm* mainFrm = nullptr;
TstatusFrm* statusFrm = nullptr;

namespace {

constexpr int FirstPollDelayMs = 100;
constexpr int TrimDelayMs = 5000;
// How late a poll may come after the machine slept through its time.
constexpr int WakeCheckMs = 60000;
constexpr double MillisecondsPerDay = 86400000.0;
// A hint is one short line; a longer file is not one the program wrote.
constexpr std::uintmax_t MaxHintBytes = 4096;

QEvent::Type eventType(int message) {
    return static_cast<QEvent::Type>(message);
}

} // namespace

TmainFrm::TmainFrm()
    : tray_(std::make_unique<TzintraSysTray>())
    , status_(std::make_unique<TstatusWindowLink>()) {
    setWindowTitle("vantle tray");
    resize(212, 99);

    Aboutvantle1 = trayMenu.addAction("About vantle", this, &TmainFrm::Aboutvantle1Click);
    trayMenu.addSeparator();
    Open1 = trayMenu.addAction("Open", this, &TmainFrm::Open1Click);
    Configure1 = trayMenu.addAction("Configure", this, &TmainFrm::Configure1Click);
    trayMenu.addSeparator();
    Exit1 = trayMenu.addAction("Exit", this, &TmainFrm::Exit1Click);
    trayMenu.setDefaultAction(Open1);

    trimTimer.setInterval(TrimDelayMs);
    connect(&trimTimer, &QTimer::timeout, this, &TmainFrm::trimTimerTimer);
    pollTimer.setInterval(1000);
    connect(&pollTimer, &QTimer::timeout, this, &TmainFrm::pollTimerTimer);
    wakeTimer.setInterval(WakeCheckMs);
    connect(&wakeTimer, &QTimer::timeout, this, &TmainFrm::wakeTimerTimer);

    tray_->SetPopupMenu(&trayMenu);
    tray_->OnClick = [this](TzintraSysTray&, TMouseButton button, TShiftState, int, int) {
        if (button == TMouseButton::mbLeft)
            trayClick();
    };
}

TmainFrm::~TmainFrm() {
    statusFrm = nullptr;
}

TaboutFrm* TmainFrm::aboutFrm() const {
    return about_;
}

void TmainFrm::startUp() {
    try {
        configuration_ = std::make_unique<Tconfiguration>();
        configuration_->load();
    } catch (const std::exception& e) {
        // Without its folders the program has nowhere to work; the user hears why.
        runtime::outputDebugString(e.what());
        ErrorBox(QString::fromStdString(e.what()));
        QApplication::exit(1);
        return;
    }
    TmadExcept::instance().setCrashFolder(configuration_->dataFolder + "crashdumps");
    if (!configuration_->isComplete()) {
        configure(*configuration_);
        // Without an account there is nothing to show: end quietly.
        if (!configuration_->isComplete()) {
            QApplication::quit();
            return;
        }
    }
    reloadTray();
    tray_->SetActive(true);
    notifier_ = std::make_unique<TdesktopNotifier>();
    noTray_ =
        std::make_unique<TnoTrayFallback>(*tray_, *status_, *notifier_, [this] { Open1Click(); });
    noTray_->start();
    alerts_ = std::make_unique<TalertPresenter>(*configuration_, *notifier_, *tray_,
                                                [this] { Configure1Click(); });
    alerts_->showPending();
    pollTimerTag = configuration_->pollInterval() * 60 * 1000;
    pollTimer.setInterval(FirstPollDelayMs);
    pollTimer.start();
    pollDue_ = runtime::now() + FirstPollDelayMs / MillisecondsPerDay;
    wakeTimer.start();

    // Told once, once the icon shows and polling runs: the box waits for the user, they do not.
    const std::string problem = dataFolderProblem(*configuration_);
    if (!problem.empty()) {
        runtime::outputDebugString(problem);
        QTimer::singleShot(0, this, [problem] { ErrorBox(QString::fromStdString(problem)); });
    }
}

void TmainFrm::reloadTray() {
    // Every size where the poll drew them, else the 16-pixel picture of the status bars; a
    // damaged file is as none: the default stands in until the next poll writes it again.
    std::error_code ec;
    bool loaded = false;
    for (const std::string* file :
         {&configuration_->trayIconsFile, &configuration_->trayIconFile}) {
        if (loaded || !std::filesystem::exists(*file, ec))
            continue;
        try {
            tray_->LoadIconFromFile(QString::fromStdString(*file));
            loaded = true;
        } catch (const std::exception& e) {
            runtime::outputDebugString(e.what());
        }
    }
    if (!loaded)
        tray_->SetIcon(nullptr);
    QString hint = "vantle";
    if (std::filesystem::exists(configuration_->trayHintFile, ec)) {
        try {
            if (std::filesystem::file_size(configuration_->trayHintFile) > MaxHintBytes)
                throw Error("The tray hint is damaged: " + configuration_->trayHintFile);
            hint = QString::fromStdString(ReadFileText(configuration_->trayHintFile));
        } catch (const std::exception& e) {
            runtime::outputDebugString(e.what());
        }
    }
    tray_->SetHint(hint);
}

void TmainFrm::pollTimerTimer() {
    pollTimer.stop();
    try {
        std::error_code ec;
        const TDateTime now = runtime::now();
        const TDateTime updated = configuration_->updateTime();
        const std::uint32_t minutes =
            runtime::wholeMinutesBetween(std::min(now, updated), std::max(now, updated));
        // A restarted program does not poll again right away; without a status document
        // there is nothing to show, so it always polls.
        const bool recent = std::filesystem::exists(configuration_->statusFile, ec) && minutes < 20;
        // A refused login is not sent again and again: the provider would lock the account.
        const bool heldBack = pollHeldBack(*configuration_, now);
        const bool running = std::any_of(workers_.begin(), workers_.end(), [](const auto& w) {
            return w != nullptr && !w->isFinished();
        });
        if (heldBack) {
            runtime::outputDebugString("The login was refused; polls are held back until the "
                                       "account is saved again");
        } else if (!recent && running) {
            // A cycle still waiting for the provider would only be joined by a second one.
            runtime::outputDebugString("The previous poll is still running; this one is skipped");
        } else if (!recent) {
            startPoll();
        }
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
    pollTimer.setInterval(pollTimerTag);
    pollTimer.start();
    pollDue_ = runtime::now() + pollTimerTag / MillisecondsPerDay;
}

void TmainFrm::startPoll() {
    auto* worker = new TpollThread(*configuration_); // frees itself when done
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    std::erase_if(workers_, [](const QPointer<TpollThread>& w) { return w.isNull(); });
    workers_.emplace_back(worker);
    worker->start();
}

bool TmainFrm::endPolls(int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    for (const QPointer<TpollThread>& worker : workers_)
        if (worker != nullptr)
            worker->cancel();
    for (const QPointer<TpollThread>& worker : workers_)
        if (worker != nullptr && !worker->wait(deadline))
            return false;
    return true;
}

void TmainFrm::wakeTimerTimer() {
    // The poll timer does not count time the machine slept; the wall clock does.
    if (pollTimer.isActive() && runtime::now() >= pollDue_)
        pollTimerTimer();
}

void TmainFrm::trimTimerTimer() {
    trimTimer.stop();
    TrimWorkingSet();
}

void TmainFrm::Exit1Click() {
    tray_->SetActive(false);
    QApplication::quit();
}

void TmainFrm::Aboutvantle1Click() {
    try {
        const TinstanceEntry open = SingleInstance::query(AboutInstanceName);
        if (open.processId != 0) {
            SingleInstance::bringToFront(open);
            return;
        }
        // A window of its own, owned by this form, freed when closed.
        about_ = new TaboutFrm(QString::fromStdString(configuration_->versionText()));
        about_->setParent(this, about_->windowFlags() | Qt::Window);
        about_->setAttribute(Qt::WA_DeleteOnClose);
        about_->onClosed = [] { SingleInstance::registerValues(AboutInstanceName, 0, 0); };
        SingleInstance::registerWindow(AboutInstanceName, about_);
        about_->show();
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
}

void TmainFrm::Open1Click() {
    if (configuration_ != nullptr)
        status_->open();
}

void TmainFrm::Configure1Click() {
    if (configuration_ == nullptr)
        return;
    const std::string account = configuration_->username + "@" + configuration_->domain;
    const bool heldBack = pollHeldBack(*configuration_, runtime::now());
    const bool saved = configure(*configuration_);
    if (saved)
        accountSaved(*configuration_);
    if (saved && heldBack && configuration_->username + "@" + configuration_->domain == account) {
        // The password that was refused has been replaced: try it now.
        startPoll();
    } else if (saved && configuration_->username + "@" + configuration_->domain != account) {
        // The figures shown belong to the account shown: the old ones go now, a poll still
        // running for the old account writes nothing, and the new account's come with a poll
        // at once.
        try {
            for (const QPointer<TpollThread>& worker : workers_)
                if (worker != nullptr)
                    worker->cancel();
            status_->Reload();
            reloadTray();
            startPoll();
        } catch (const std::exception& e) {
            runtime::outputDebugString(e.what());
        }
    }
    trimTimer.start();
}

void TmainFrm::trayClick() {
    Open1Click();
}

bool TmainFrm::event(QEvent* event) {
    if (event->type() == eventType(WM_POLLDONE)) {
        status_->Reload();
        reloadTray();
        if (alerts_ != nullptr)
            alerts_->showPending();
        trimTimer.start();
        return true;
    }
    if (event->type() == popupEventType(WM_RESETTRIM)) {
        trimTimer.stop();
        trimTimer.start();
        return true;
    }
    return QWidget::event(event);
}

void TmainFrm::closeEvent(QCloseEvent* event) {
    // Closing the main form ends the program.
    tray_->SetActive(false);
    event->accept();
    QApplication::quit();
}

TpollThread::TpollThread(const Tconfiguration& configuration)
    : configuration_(configuration.snapshot()) {}

TpollThread::~TpollThread() {
    wait();
}

void TpollThread::run() {
    crash::guardThread(
        [this] { runPollCycle(*configuration_, nullptr, [this] { return !cancelled_; }); });
    if (mainFrm != nullptr)
        QCoreApplication::postEvent(mainFrm, new QEvent(eventType(WM_POLLDONE)));
}

} // namespace vantle
