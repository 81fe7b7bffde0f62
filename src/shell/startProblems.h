// What keeps the program from updating its files, found at start, for the user to hear of once:
// it goes on showing what is there either way.
#pragma once

#include <string>

namespace vantle {

class Tconfiguration;

// Empty when the data folder takes new files; otherwise a text for the user that names the
// folder, the system's reason (read-only, full) and what to do. A status page that
// construction could not install counts too.
std::string dataFolderProblem(const Tconfiguration& configuration);

} // namespace vantle
