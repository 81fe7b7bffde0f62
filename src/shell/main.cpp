// vantle: the notification-area meter of a broadband account's monthly quota.
#include "SingleInstance.h"
#include "commandLine.h"
#include "dataFolderLock.h"
#include "main_form.h"
#include "noTrayFallback.h"
#include "statusWindowHelper.h"
#include "statusWindowLink.h"

#include "crash/MadExceptHelper.h"
#include "crash/crashEngine.h"
#include "lib/runtime/DebugOutput.h"
#include "platform/systemLog.h"
#include "ui/VCLutils.h"
#include "ui/appIcon.h"
#include "usage/httpClient.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

using namespace vantle;

namespace {

constexpr int PollEndMs = 2000;

// An exception leaving an event handler would otherwise end the program unreported.
class TvantleApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            crash::reportUnhandled(std::current_exception());
            return false;
        }
    }
};

// The crash handler may run on any thread; the box is shown by the user-interface thread.
void showCrashMessage(const std::string& message) {
    const QString text = QString::fromStdString(message);
    if (QThread::currentThread() == qApp->thread())
        ErrorBox(text);
    else
        QMetaObject::invokeMethod(
            qApp, [text] { ErrorBox(text); }, Qt::BlockingQueuedConnection);
}

} // namespace

int main(int argc, char** argv) {
    const CurlGlobal curl; // before any thread
    runtime::setDebugSink(platform::writeSystemLog);
    TmadExcept::instance().installInteractiveHandler();
    if (const std::optional<int> status = runHeadlessSwitch(argc, argv))
        return *status;
    // Qt::AA_ShareOpenGLContexts, which the status window's engine needs, is set as the engine
    // loads: set here it would load the software OpenGL stack at start.
    TvantleApplication application(argc, argv);
    TmadExcept::instance().setMessageBox(showCrashMessage);
    QApplication::setApplicationName("vantle");
    QGuiApplication::setDesktopFileName("vantle");
    // No display name: Qt would append it to every caption ("vantle - About — vantle").
    QApplication::setWindowIcon(applicationIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    const TstatusWindowMode statusMode = statusWindowMode(argc, argv);
    if (statusMode.helper)
        return runStatusWindow(statusMode.grace);

    TmainFrm form;
    mainFrm = &form;
    form.statusWindow().setGrace(statusMode.grace);
    int status = 0;
    try {
        const TinstanceEntry running = SingleInstance::query(MainInstanceName);
        if (running.processId != 0 && openTraylessInstance())
            return 0; // without a notification area the running instance has no icon to point at
        const std::unique_ptr<platform::TfolderLock> dataLock = lockDataFolder();
        if (running.processId != 0 || dataLock->state() == platform::TfolderLock::Tstate::taken) {
            runtime::outputDebugString("vantle is already running.");
            ErrorBox("vantle is already running.");
            return 1;
        }
        SingleInstance::registerWindow(MainInstanceName, &form);
        QTimer::singleShot(0, &form, &TmainFrm::startUp); // the first idle moment
        status = QApplication::exec();
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
        ErrorBox(QString::fromStdString(e.what()));
        status = 1;
    }
    SingleInstance::stopListening();
    SingleInstance::clearWrittenEntries();
    // A poll still running would outlive what it uses (the application, the HTTP library): it
    // gets a moment to finish, or ends with the process.
    if (!form.endPolls(PollEndMs)) {
        crash::discardDump();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    mainFrm = nullptr;
    return status;
}
