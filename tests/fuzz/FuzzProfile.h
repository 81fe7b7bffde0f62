// A profile of its own for the fuzz targets that read the user's files: temporary XDG folders
// and a silent diagnostic sink, made once per process.
#pragma once

#include "lib/runtime/DebugOutput.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace vantle::fuzz {

struct Profile {
    std::string path;
    Profile() {
        char pattern[] = "/tmp/vantle-fuzz-XXXXXX";
        path = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", (path + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (path + "/data").c_str(), 1);
        runtime::setDebugSink([](std::string_view) {});
    }
};

} // namespace vantle::fuzz
