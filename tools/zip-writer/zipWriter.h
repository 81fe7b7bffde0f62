// Writing ZIP archives: zlib's raw deflate, inflate and CRC-32 (every z_stream ended on every
// path) and an archive builder whose every field can be set. The build tool that packs the status
// page uses it, and so do the tests, the benchmarks and the fuzz entries that make archives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantle::zip {

// zlib's raw deflate stream (no zlib or gzip wrapper), as a member's data holds it; level -1 is
// zlib's default, strategy 0 its default strategy. Raises std::runtime_error when zlib fails.
std::string rawDeflate(std::string_view data, int level = -1, int strategy = 0,
                       int memoryLevel = 8);
// zlib's inflate of a raw stream; raises std::runtime_error when zlib refuses it.
std::string rawInflate(std::string_view stream);
// The same into out, which must take the whole result; returns the bytes written.
std::size_t rawInflate(std::string_view stream, std::span<char> out);
std::uint32_t crc32Of(std::string_view data);

// One member as buildZip writes it.
struct Member {
    std::string name;
    std::string data; // exactly as stored
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint32_t dosTime = 0x5A8B6000; // time and date as the format packs them: 2025-04-11 12:00
    std::uint8_t hostSystem = 0;        // of "version made by"; 0: MS-DOS
    std::uint32_t externalAttributes = 0x20; // the MS-DOS archive bit
    bool descriptorSignature = true;         // with flag bit 3: "PK" 07 08 before the descriptor
};

Member storedMember(const std::string& name, std::string_view content);
Member deflatedMember(const std::string& name, std::string_view content);
// A member whose data is the given method's stream for content.
Member packedMember(const std::string& name, std::uint16_t method, std::string data,
                    std::string_view content, std::uint16_t flags = 0);

// Local headers with data (and, for flag bit 3, zeros in the header and a descriptor after the
// data), the central directory and the end record; offsets count from the start of the result,
// prefix included.
std::string buildZip(const std::vector<Member>& members, std::string_view prefix = {},
                     std::string_view comment = {});

} // namespace vantle::zip
