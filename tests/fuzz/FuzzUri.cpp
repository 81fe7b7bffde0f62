// Fuzz entry: URL splitting and query encoding. Nothing after the "#" is ever sent.
#include "usage/httpClient.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vantle::Turi uri(text);
    const std::string sent = uri.path + uri.document + uri.params;
    if (sent.find('#') != std::string::npos)
        std::abort();
    const std::string encoded = vantle::urlEncode(text);
    if (encoded.size() > 3 * text.size())
        std::abort();
    return 0;
}
