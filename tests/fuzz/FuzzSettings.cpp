// Fuzz entry: loading the settings file; load never raises and never leaves a half file.
#include "FuzzProfile.h"

#include "config/configuration.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const vantle::fuzz::Profile folder;
    static vantle::Tconfiguration configuration;
    std::ofstream(configuration.configFile, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    configuration.load(); // must not raise
    if (configuration.pollInterval() != 30)
        std::abort();
    return 0;
}
