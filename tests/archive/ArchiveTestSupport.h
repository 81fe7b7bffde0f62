// What the archive tests share: a bit writer for crafted streams, the archive writer (whose every
// field can be set, with zlib as the reference deflater and CRC), and Info-ZIP unzip run as a
// real process to check the fixtures the test encoders make.
#pragma once

#include "archive/unzip.h"
#include "zip-writer/zipWriter.h"

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

// The archive writer, with zlib's raw deflate, inflate and CRC-32 as the references the decoders
// are checked against.
using ZipMember = zip::Member;
using zip::buildZip;
using zip::crc32Of;
using zip::deflatedMember;
using zip::packedMember;
using zip::rawDeflate;
using zip::rawInflate;
using zip::storedMember;

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
