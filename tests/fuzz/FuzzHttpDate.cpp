// Fuzz entry: the HTTP date parser.
#include "usage/httpClient.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const double value =
        vantle::parseHttpDate(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!std::isfinite(value))
        std::abort();
    return 0;
}
