#include "systemLog.h"

#include <cstdio>
#include <string>
#include <syslog.h>

namespace vantle::platform {

void writeSystemLog(std::string_view line) {
    static const bool opened = [] {
        openlog("vantle", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    const std::string text(line);
    std::fprintf(stderr, "%s\n", text.c_str());
    syslog(LOG_DEBUG, "%s", text.c_str());
}

} // namespace vantle::platform
