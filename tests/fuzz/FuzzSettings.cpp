// Fuzz entry: loading the settings file; load never raises and never leaves a half file.
#include "config/configuration.h"
#include "lib/runtime/DebugOutput.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

struct Folder {
    std::string path;
    Folder() {
        char pattern[] = "/tmp/vantle-fuzz-XXXXXX";
        path = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", (path + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (path + "/data").c_str(), 1);
        vantle::runtime::setDebugSink([](std::string_view) {});
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Folder folder;
    static vantle::Tconfiguration configuration;
    std::ofstream(configuration.configFile, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    configuration.load(); // must not raise
    if (configuration.pollInterval() != 30)
        std::abort();
    return 0;
}
