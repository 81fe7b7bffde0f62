// The platform's debugger output: each line goes to standard error and to the system log.
#pragma once

#include <string_view>

namespace vantle::platform {

// One line to standard error and to syslog at LOG_DEBUG with the ident "vantle".
void writeSystemLog(std::string_view line);

} // namespace vantle::platform
