// Fuzz entry: Base64 decoding, and encoding what was decoded back to the same bytes.
#include "config/Base64.h"
#include "lib/runtime/Error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const std::string bytes = vantle::Base64Decode(text);
        // Three bytes make at most four characters.
        if (bytes.size() > text.size())
            std::abort();
        if (!bytes.empty() && vantle::Base64Decode(vantle::Base64Encode(bytes, 0)) != bytes)
            std::abort();
    } catch (const vantle::Error&) {
    }
    return 0;
}
