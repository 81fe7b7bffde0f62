// Fuzz entry: the response header block as the server sent it.
#include "usage/httpClient.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    vantle::ThttpClient client;
    client.parseHeaders(raw);
    std::size_t total = client.statusText.size();
    for (const auto& [name, value] : client.headers) {
        // A name never holds the separator, a line end or an upper-case letter; lookups rely on it.
        if (name.find_first_of(":\r\nABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string_view::npos ||
            value.find_first_of("\r\n") != std::string_view::npos)
            std::abort();
        total += name.size() + value.size();
    }
    // A lookup finds the first header of its name.
    if (!client.headers.empty() &&
        client.header(client.headers.front().first) != client.headers.front().second)
        std::abort();
    if (total > size || !std::isfinite(client.lastModified))
        std::abort();
    return 0;
}
