// Method 0, stored: the member's bytes copied through the window in 32 KiB blocks.
#include "archive/decoders.h"

#include <algorithm>

namespace vantle {

TzipResult unstore(TzipState& state) {
    std::int64_t remaining = state.compressedSize;
    while (remaining > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(remaining, kWindowSize));
        if (state.readData(state.window.get(), n) < n)
            return TzipResult::readError;
        if (!state.flush(state.window.get(), n))
            return TzipResult::writeError;
        remaining -= static_cast<std::int64_t>(n);
    }
    return TzipResult::ok;
}

} // namespace vantle
