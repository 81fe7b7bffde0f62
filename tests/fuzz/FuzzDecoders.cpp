// Fuzz entry: each decoder on raw member data. The first bytes choose the method (stored, shrink,
// implode, deflate), the general-purpose flags (implode's dictionary and literal tree, sizes
// after the data) and the declared sizes; the rest is the member's data, wrapped into a
// one-member archive for the reader.
#include "archive/unzip.h"
#include "lib/runtime/Error.h"
#include "zip-writer/zipWriter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6)
        return 0;
    static constexpr std::uint16_t methods[] = {0, 1, 6, 8};
    const std::uint16_t method = methods[data[0] & 3];
    const std::uint16_t flags = static_cast<std::uint16_t>(data[1] & 0x0e); // never encrypted
    const std::uint32_t declared = static_cast<std::uint32_t>(data[2]) |
                                   static_cast<std::uint32_t>(data[3]) << 8 |
                                   static_cast<std::uint32_t>(data[4] & 0x0f) << 16;
    const std::string member(reinterpret_cast<const char*>(data + 5), size - 5);
    const std::string name = "m";

    vantle::zip::Member m;
    m.name = name;
    m.data = member;
    m.method = method;
    m.flags = flags;
    m.crc = 0; // wrong for almost every input, which must be reported, not crash
    m.uncompressedSize = declared;
    const std::string archiveBytes = vantle::zip::buildZip({m});

    try {
        vantle::Tunzip archive(archiveBytes);
        vantle::TmemoryTarget target;
        try {
            archive.extractToStream(name, target);
        } catch (const vantle::Error&) {
        }
        // Output is bounded by what the window and the codes can make of the input.
        if (target.data.size() > 258 * 8 * member.size() + 65536)
            std::abort();
    } catch (const vantle::Error&) {
    }
    return 0;
}
