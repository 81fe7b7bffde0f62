// Fuzz entry: reading a provider's answer as the fetch does, and a stored usage document (as the
// current document; an error element sends the reader to the last good one, which is the same
// bytes here).
#include "FuzzProfile.h"

#include "config/configuration.h"
#include "lib/runtime/Error.h"
#include "usage/iinet.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const vantle::fuzz::Profile folder;
    static vantle::Tconfiguration configuration;
    const std::string current = folder.path + "/current.xml";
    std::ofstream(current, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    vantle::Tiinet answer(configuration);
    try {
        answer.readAnswer(std::string(reinterpret_cast<const char*>(data), size));
        // What passes as an answer is what the outputs get: a refusal, or some traffic.
        if (answer.error.empty() && answer.traffic.empty())
            std::abort();
    } catch (const vantle::Error&) {
    }
    if (answer.traffic.size() > vantle::MaxTrafficTypes)
        std::abort();
    vantle::Tiinet usage(configuration);
    try {
        usage.load(current, current);
    } catch (const vantle::Error&) {
    }
    for (const vantle::Ttraffic& t : usage.traffic)
        if (t.quotaMB > 0 && !(t.usedPercent == t.usedPercent))
            std::abort(); // a percentage is never NaN
    return 0;
}
