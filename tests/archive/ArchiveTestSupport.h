// What the archive tests share: a bit writer for crafted streams, an archive builder whose
// every field can be set, zlib as the reference deflater and CRC, and Info-ZIP unzip run as a
// real process to check the fixtures the test encoders make.
#pragma once

#include "archive/unzip.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantle::test {

// Bits least significant first, as deflate, shrink and implode pack them.
class BitWriter {
public:
    void bits(std::uint32_t value, unsigned count);
    // A prefix code: its first (most significant) bit goes first.
    void code(std::uint32_t code, unsigned length);
    void alignToByte();
    void bytes(std::string_view raw); // after alignToByte
    std::string finish();             // the partial last byte zero-filled

private:
    std::string out_;
    std::uint32_t pending_ = 0;
    unsigned count_ = 0;
};

// Deflate's canonical codes for the lengths (0: unused symbol, code 0).
std::vector<std::uint32_t> canonicalCodes(const std::vector<int>& lengths);

// zlib's raw deflate and CRC-32: the references the decoders are checked against.
std::string zlibDeflate(std::string_view data, int level = -1, int strategy = 0);
std::uint32_t zlibCrc32(std::string_view data);
// Raises when zlib refuses the stream.
std::string zlibInflate(std::string_view stream);

// One member as the builder writes it: data holds the bytes exactly as stored.
struct ZipMember {
    std::string name;
    std::string data;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint8_t hostSystem = 0;
    bool descriptorSignature = true; // with flag bit 3: "PK" 07 08 before the descriptor
};

ZipMember storedMember(const std::string& name, std::string_view content);
ZipMember deflatedMember(const std::string& name, std::string_view content);
// A member whose data is the given method's stream for content.
ZipMember packedMember(const std::string& name, std::uint16_t method, std::string data,
                       std::string_view content, std::uint16_t flags = 0);

// Local headers with data (and descriptors for flag bit 3), the directory and the end record;
// offsets count from the start of the result, prefix included.
std::string buildZip(const std::vector<ZipMember>& members, std::string_view prefix = {},
                     std::string_view comment = {});
// Where buildZip put the end record of an archive with that comment length.
std::size_t endRecordAt(const std::string& zip, std::size_t commentLength = 0);
void putLe16(std::string& bytes, std::size_t at, std::uint16_t value);
void putLe32(std::string& bytes, std::size_t at, std::uint32_t value);

// Extracts with Tunzip into memory.
std::string extract(std::string_view zip, const std::string& member);
// The message Tunzip raises for the member, or "" when it extracts.
std::string extractFailure(std::string_view zip, const std::string& member);

struct ProcessRun {
    int status = -1;
    std::string output;
};
// Info-ZIP unzip on the archive, written to a temporary folder: "-p" gives the member's bytes
// (standard output only), "-t" the test report (with standard error).
ProcessRun infoZip(std::string_view zip, const std::string& options, const std::string& member);

// Several kilobytes of text-like data with repeats near and far, and binary records.
std::string sampleText(std::size_t size, std::uint32_t seed = 1);
std::string sampleBinary(std::size_t size, std::uint32_t seed = 1);

} // namespace vantle::test
