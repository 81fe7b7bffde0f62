// Fuzz entry: the ZIP reader on archive bytes. Every member either extracts or raises Error.
#include "archive/unzip.h"
#include "lib/runtime/Error.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        vantle::Tunzip archive(bytes);
        for (const std::string& name : archive.names()) {
            vantle::TmemoryTarget target;
            try {
                archive.extractToStream(name, target);
            } catch (const vantle::Error&) {
            }
        }
    } catch (const vantle::Error&) {
    }
    return 0;
}
