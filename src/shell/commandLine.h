// The switches that need no desktop, "-dumpversion FILE" and "-quit": obeyed before the GUI
// application exists, so that they work without a display.
#pragma once

#include <optional>

namespace vantle {

// Obeys the switch the arguments start with and returns the program's exit status; nothing
// when they start with neither (a "-dumpversion" without its file included). A failure goes to
// the diagnostic sink and gives the status 1.
std::optional<int> runHeadlessSwitch(int& argc, char** argv);

} // namespace vantle
