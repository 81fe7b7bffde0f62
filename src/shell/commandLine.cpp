#include "commandLine.h"

#include "SingleInstance.h"

#include "config/configuration.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/utils/FileUtils.h"
#include "lib/utils/programVersion.h"
#include "platform/programFile.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>

namespace vantle {
namespace {

constexpr const char* HelpText = R"(Usage: vantle [OPTION]

Shows in the notification area how much of the month's download quota of an iiNet or Westnet
account is used, and polls the provider every 30 minutes. Without an option it starts (at most
one instance per user); at the first start it asks for the account.

Options:
  -quit                 end the running instance
  -dumpversion FILE     write the program's build version to FILE
  -h, --help            print this help and exit
  -V, --version         print the version and exit

vantlectl prints the usage for scripts and status bars (vantlectl status --json).
See vantle(1) and vantlectl(1).
)";

} // namespace

std::string versionLine(const std::string& buildVersion) {
    return std::string("vantle ") + VANTLE_VERSION + " (build " + buildVersion + ")";
}

std::optional<int> runHeadlessSwitch(int& argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "-h" || first == "--help" || first == "-help") {
        std::fputs(HelpText, stdout);
        return 0;
    }
    if (first == "-V" || first == "--version" || first == "-version") {
        try {
            const std::string line = versionLine(programVersionText(platform::programPath()));
            std::printf("%s\n", line.c_str());
        } catch (const std::exception& e) {
            // Without its build time the release is still known by its number.
            runtime::outputDebugString(e.what());
            std::printf("vantle %s\n", VANTLE_VERSION);
        }
        return 0;
    }
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
