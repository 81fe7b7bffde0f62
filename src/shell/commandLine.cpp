#include "commandLine.h"

#include "SingleInstance.h"

#include "config/configuration.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/utils/FileUtils.h"

#include <QCoreApplication>

#include <string>

namespace vantle {

std::optional<int> runHeadlessSwitch(int& argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    const bool dumpVersion = first == "-dumpversion" && argc > 2;
    if (!dumpVersion && first != "-quit")
        return std::nullopt;
    try {
        if (dumpVersion) {
            const Tconfiguration configuration;
            WriteFileText(configuration.versionText(), argv[2]);
            return 0;
        }
        // The request to the running instance goes over a local socket, which wants an
        // application object, though not a display.
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName("vantle");
        const TinstanceEntry running = SingleInstance::query(MainInstanceName);
        if (running.processId != 0)
            SingleInstance::closeWindow(running);
        return 0;
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
        return 1;
    }
}

} // namespace vantle
