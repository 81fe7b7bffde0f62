#include "main_form.h"

#include "MadExceptHelper.h"
#include "SingleInstance.h"
#include "crashEngine.h"
#include "pollCycle.h"

#include "config/configuration.h"
#include "lib/runtime/DateTime.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/utils/FileUtils.h"
#include "lib/utils/WindowsUtils.h"
#include "ui/about_form.h"
#include "ui/config_form.h"
#include "ui/status_form.h"
#include "ui/sysTray.h"

#include <QApplication>
#include <QCloseEvent>

#include <cmath>
#include <filesystem>

namespace vantle {

TmainFrm* mainFrm = nullptr;
TstatusFrm* statusFrm = nullptr;

namespace {

constexpr int FirstPollDelayMs = 100;
constexpr int TrimDelayMs = 5000;
constexpr double MinutesPerDay = 1440.0;

QEvent::Type eventType(int message) {
    return static_cast<QEvent::Type>(message);
}

} // namespace

TmainFrm::TmainFrm()
    : tray_(std::make_unique<TzintraSysTray>()) {
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
        runtime::outputDebugString(e.what());
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
    status_ = std::make_unique<TstatusFrm>(*configuration_, [](const std::exception_ptr& f) {
        TmadExcept::instance().reportException(f);
    });
    statusFrm = status_.get();
    reloadTray();
    tray_->SetActive(true);
    pollTimerTag = configuration_->pollInterval() * 60 * 1000;
    pollTimer.setInterval(FirstPollDelayMs);
    pollTimer.start();
}

void TmainFrm::reloadTray() {
    std::error_code ec;
    if (std::filesystem::exists(configuration_->trayIconFile, ec))
        tray_->LoadIconFromFile(QString::fromStdString(configuration_->trayIconFile));
    else
        tray_->SetIcon(nullptr);
    QString hint = "vantle";
    if (std::filesystem::exists(configuration_->trayHintFile, ec)) {
        try {
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
        const double minutes =
            std::fabs(runtime::now() - configuration_->updateTime()) * MinutesPerDay;
        // A restarted program does not poll again right away; without a status document
        // there is nothing to show, so it always polls.
        const bool recent =
            std::filesystem::exists(configuration_->statusFile, ec) && std::trunc(minutes) < 20;
        if (!recent && worker_ && !worker_->isFinished()) {
            // A cycle still waiting for the provider would only be joined by a second one.
            runtime::outputDebugString("The previous poll is still running; this one is skipped");
        } else if (!recent) {
            auto* worker = new TpollThread(*configuration_); // frees itself when done
            connect(worker, &QThread::finished, worker, &QObject::deleteLater);
            worker_ = worker;
            worker->start();
        }
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
    pollTimer.setInterval(pollTimerTag);
    pollTimer.start();
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
    if (status_ == nullptr)
        return;
    if (status_->isMinimized())
        status_->showNormal();
    status_->show();
    status_->raise();
    status_->activateWindow();
}

void TmainFrm::Configure1Click() {
    if (configuration_ == nullptr)
        return;
    configure(*configuration_);
    trimTimer.start();
}

void TmainFrm::trayClick() {
    Open1Click();
}

bool TmainFrm::event(QEvent* event) {
    if (event->type() == eventType(WM_POLLDONE)) {
        if (status_ != nullptr)
            status_->Reload();
        reloadTray();
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
    crash::guardThread([this] { runPollCycle(*configuration_); });
    if (mainFrm != nullptr)
        QCoreApplication::postEvent(mainFrm, new QEvent(eventType(WM_POLLDONE)));
}

} // namespace vantle
