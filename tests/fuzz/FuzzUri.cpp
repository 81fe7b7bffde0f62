// Fuzz entry: URL splitting, query encoding and file URLs. Nothing after the "#" is ever sent.
#include "outputs/textHelpers.h"
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
    // A file URL is absolute and keeps only "/" and unreserved characters unescaped.
    const std::string path = "/" + std::string(text);
    const std::string url = vantle::fileUrl(path);
    if (url.rfind("file:///", 0) != 0 || url.size() > 7 + 3 * path.size() ||
        url.find_first_of(" #?\\\r\n", 7) != std::string::npos)
        std::abort();
    return 0;
}
