// Where the running program's file lies.
#pragma once

#include <string>

namespace vantle::platform {

// The full path of the running program's file. Raises std::system_error when the system
// cannot tell.
std::string programPath();

} // namespace vantle::platform
