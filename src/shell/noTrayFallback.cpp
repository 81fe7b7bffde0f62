// The trayless state is published as an instance entry of its own, so that a second start can
// tell it from a running instance with an icon without asking it anything else.
#include "noTrayFallback.h"

#include "SingleInstance.h"

#include "lib/runtime/DebugOutput.h"
#include "ui/desktopNotifier.h"
#include "ui/sysTray.h"

#include <exception>

namespace vantle {

QString noTrayTitle() {
    return QStringLiteral("vantle has no place for its icon");
}

QString noTrayText() {
    return QStringLiteral(
        "vantle shows its icon in the desktop's notification area, and this desktop has none "
        "running. On GNOME, install the AppIndicator extension (the package "
        "gnome-shell-extension-appindicator), turn it on in Extensions and log in again. Until "
        "then, start vantle again to open its status window.");
}

TnoTrayFallback::TnoTrayFallback(TzintraSysTray& tray, QWidget& statusWindow,
                                 TdesktopNotifier& notifier, std::function<void()> openStatus,
                                 std::chrono::milliseconds wait, std::chrono::milliseconds recheck,
                                 QObject* parent)
    : QObject(parent)
    , tray_(tray)
    , statusWindow_(&statusWindow)
    , notifier_(notifier)
    , openStatus_(std::move(openStatus))
    , timer_(this)
    , recheck_(recheck) {
    timer_.setSingleShot(true);
    timer_.setInterval(wait);
    connect(&timer_, &QTimer::timeout, this, &TnoTrayFallback::check);
}

TnoTrayFallback::~TnoTrayFallback() = default;

void TnoTrayFallback::start() {
    timer_.start();
}

void TnoTrayFallback::check() {
    try {
        if (tray_.Hosted()) {
            if (trayless_) {
                trayless_ = false;
                SingleInstance::registerValues(TraylessInstanceName, 0, 0);
            }
            return;
        }
        if (!trayless_ && statusWindow_) {
            trayless_ = true;
            SingleInstance::registerWindow(TraylessInstanceName, statusWindow_);
        }
        if (!told_) {
            // Once per run: the window and the message, then only the entry follows the area.
            told_ = true;
            runtime::outputDebugString("No notification area shows the icon");
            if (openStatus_)
                openStatus_();
            notifier_.notify(noTrayTitle(), noTrayText(), 0);
        }
        timer_.setInterval(recheck_);
        timer_.start();
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
}

bool openTraylessInstance() {
    try {
        const TinstanceEntry trayless = SingleInstance::query(TraylessInstanceName);
        return trayless.processId != 0 && SingleInstance::bringToFront(trayless);
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
        return false;
    }
}

} // namespace vantle
