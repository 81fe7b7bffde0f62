// Fuzz entry: each decoder on raw member data. The first bytes choose the method (stored, shrink,
// implode, deflate), the general-purpose flags (implode's dictionary and literal tree, sizes
// after the data) and the declared sizes; the rest is the member's data, wrapped into a
// one-member archive for the reader.
#include "archive/unzip.h"
#include "lib/runtime/Error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}

void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

} // namespace

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

    std::string zip;
    put32(zip, 0x04034b50);
    put16(zip, 20);
    put16(zip, flags);
    put16(zip, method);
    put32(zip, 0); // time and date
    put32(zip, 0); // CRC: wrong for almost every input, which must be reported, not crash
    put32(zip, static_cast<std::uint32_t>(member.size()));
    put32(zip, declared);
    put16(zip, static_cast<std::uint32_t>(name.size()));
    put16(zip, 0);
    zip += name + member;
    const auto directory = static_cast<std::uint32_t>(zip.size());
    put32(zip, 0x02014b50);
    put16(zip, 20);
    put16(zip, 20);
    put16(zip, flags);
    put16(zip, method);
    put32(zip, 0);
    put32(zip, 0);
    put32(zip, static_cast<std::uint32_t>(member.size()));
    put32(zip, declared);
    put16(zip, static_cast<std::uint32_t>(name.size()));
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, 0);
    put32(zip, 0);
    put32(zip, 0); // local header offset
    zip += name;
    const auto directorySize = static_cast<std::uint32_t>(zip.size()) - directory;
    put32(zip, 0x06054b50);
    put32(zip, 0);
    put16(zip, 1);
    put16(zip, 1);
    put32(zip, directorySize);
    put32(zip, directory);
    put16(zip, 0);

    try {
        vantle::Tunzip archive(zip);
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
