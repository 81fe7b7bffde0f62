#include "ArchiveTestSupport.h"

#include "support/TestSupport.h"

#include <array>
#include <cstdio>
#include <stdexcept>
#include <sys/wait.h>

namespace vantle::test {

void BitWriter::bits(std::uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        pending_ |= ((value >> i) & 1u) << count_;
        if (++count_ == 8) {
            out_ += static_cast<char>(pending_);
            pending_ = 0;
            count_ = 0;
        }
    }
}

void BitWriter::code(std::uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;)
        bits((code >> i) & 1u, 1);
}

void BitWriter::alignToByte() {
    if (count_ > 0)
        bits(0, 8 - count_);
}

void BitWriter::bytes(std::string_view raw) {
    alignToByte();
    out_ += raw;
}

std::string BitWriter::finish() {
    alignToByte();
    return out_;
}

std::vector<std::uint32_t> canonicalCodes(const std::vector<int>& lengths) {
    int longest = 0;
    for (const int length : lengths)
        longest = std::max(longest, length);
    std::vector<std::uint32_t> count(static_cast<std::size_t>(longest) + 2);
    for (const int length : lengths)
        if (length > 0)
            ++count[static_cast<std::size_t>(length)];
    std::vector<std::uint32_t> next(count.size());
    std::uint32_t code = 0; // count[0] stays 0: unused symbols take no code space
    for (std::size_t length = 1; length < count.size(); ++length) {
        code = (code + count[length - 1]) << 1;
        next[length] = code;
    }
    std::vector<std::uint32_t> codes(lengths.size());
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol)
        if (lengths[symbol] > 0)
            codes[symbol] = next[static_cast<std::size_t>(lengths[symbol])]++;
    return codes;
}

void putLe16(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<char>(value & 0xFF);
    bytes.at(at + 1) = static_cast<char>(value >> 8);
}

void putLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
    putLe16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
    putLe16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::size_t endRecordAt(const std::string& zip, std::size_t commentLength) {
    return zip.size() - commentLength - 22;
}

std::string extract(std::string_view zip, const std::string& member) {
    Tunzip unzip(zip);
    TmemoryTarget target;
    unzip.extractToStream(member, target);
    return target.data;
}

std::string extractFailure(std::string_view zip, const std::string& member) {
    try {
        extract(zip, member);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

ProcessRun infoZip(std::string_view zip, const std::string& options, const std::string& member) {
    TempDir dir;
    const std::string path = dir.file("fixture.zip");
    writeFile(path, zip);
    const std::string command = "/usr/bin/unzip " + options + " '" + path + "' '" + member + "'" +
                                (options == "-p" ? " 2>/dev/null" : " 2>&1");
    const CommandRun run = runCommand(command);
    return {run.status, run.output};
}

namespace {

// A small deterministic generator, so fixtures are the same on every run.
struct Random {
    std::uint32_t state;
    std::uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

} // namespace

std::string sampleText(std::size_t size, std::uint32_t seed) {
    static const char* const words[] = {
        "quota", "download",  "peak",    "off-peak", "megabytes", "freezone", "usage", "the",
        "of",    "and",       "account", "reset",    "<td>",      "</td>",    "\n",    "plan",
        "days",  "remaining", "shaped",  "speed",    "256",       "kbps",     "2025",  "status"};
    Random random{seed * 2654435761u + 1};
    std::string text;
    while (text.size() < size) {
        const std::uint32_t r = random.next();
        if (r % 7 == 0 && text.size() > 64) {
            // Repeat an earlier stretch, sometimes from far back.
            const std::size_t length = 8 + (r >> 8) % 60;
            const std::size_t from = (r >> 16) % (text.size() - 32);
            text += text.substr(from, length);
        } else {
            text += words[(r >> 4) % std::size(words)];
            text += ' ';
        }
    }
    text.resize(size);
    return text;
}

std::string sampleBinary(std::size_t size, std::uint32_t seed) {
    Random random{seed * 40503u + 7};
    std::string bytes;
    std::uint32_t counter = 0;
    while (bytes.size() < size) {
        const std::uint32_t r = random.next();
        // Records of a slowly rising counter and a few noisy bytes, as in a binary table.
        counter += r % 5;
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((counter >> (8 * i)) & 0xFF);
        bytes += static_cast<char>(r >> 24);
        bytes += static_cast<char>((r >> 16) & 0x0F);
    }
    bytes.resize(size);
    return bytes;
}

} // namespace vantle::test
