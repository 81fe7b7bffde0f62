// The switches that need no desktop, "-dumpversion FILE", "-quit", "--help" and "--version":
// obeyed before the GUI application exists, so that they work without a display.
#pragma once

#include <optional>
#include <string>

namespace vantle {

// Obeys the switch the arguments start with and returns the program's exit status; nothing
// when they start with neither (a "-dumpversion" without its file included). A failure goes to
// the diagnostic sink and gives the status 1.
std::optional<int> runHeadlessSwitch(int& argc, char** argv);

// "vantle 0.1.0 (build 20261211.161500)".
std::string versionLine(const std::string& buildVersion);

} // namespace vantle
