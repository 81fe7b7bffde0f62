#include "ArchiveTestSupport.h"

#include "support/TestSupport.h"

#include <array>
#include <cstdio>
#include <stdexcept>
#include <sys/wait.h>
#include <zlib.h>

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

std::string zlibDeflate(std::string_view data, int level, int strategy) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    return out;
}

std::uint32_t zlibCrc32(std::string_view data) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string zlibInflate(std::string_view stream) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        throw std::runtime_error("inflateInit2 failed");
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    std::string out;
    int status = Z_OK;
    while (status == Z_OK) {
        char buffer[16384];
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - z.avail_out);
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END)
        throw std::runtime_error("zlib refuses the stream");
    return out;
}

ZipMember packedMember(const std::string& name, std::uint16_t method, std::string data,
                       std::string_view content, std::uint16_t flags) {
    ZipMember m;
    m.name = name;
    m.data = std::move(data);
    m.method = method;
    m.flags = flags;
    m.crc = zlibCrc32(content);
    m.uncompressedSize = static_cast<std::uint32_t>(content.size());
    return m;
}

ZipMember storedMember(const std::string& name, std::string_view content) {
    return packedMember(name, 0, std::string(content), content);
}

ZipMember deflatedMember(const std::string& name, std::string_view content) {
    return packedMember(name, 8, zlibDeflate(content), content);
}

void putLe16(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<char>(value & 0xFF);
    bytes.at(at + 1) = static_cast<char>(value >> 8);
}

void putLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
    putLe16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
    putLe16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

namespace {

void appendLe16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void appendLe32(std::string& out, std::uint32_t value) {
    appendLe16(out, value & 0xFFFF);
    appendLe16(out, value >> 16);
}

} // namespace

std::string buildZip(const std::vector<ZipMember>& members, std::string_view prefix,
                     std::string_view comment) {
    constexpr std::uint32_t kDosTime = 0x5A8B6000; // 2025-04-11 12:00:00
    std::string out(prefix);
    std::string directory;
    for (const ZipMember& m : members) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        const bool descriptor = (m.flags & 8) != 0;
        const auto compressed = static_cast<std::uint32_t>(m.data.size());
        out += "PK\x03\x04";
        appendLe16(out, 20);      // version needed
        appendLe16(out, m.flags); // general-purpose flags
        appendLe16(out, m.method);
        appendLe32(out, kDosTime);
        appendLe32(out, descriptor ? 0 : m.crc);
        appendLe32(out, descriptor ? 0 : compressed);
        appendLe32(out, descriptor ? 0 : m.uncompressedSize);
        appendLe16(out, static_cast<std::uint32_t>(m.name.size()));
        appendLe16(out, 0); // extra field length
        out += m.name;
        out += m.data;
        if (descriptor) {
            if (m.descriptorSignature)
                out += "PK\x07\x08";
            appendLe32(out, m.crc);
            appendLe32(out, compressed);
            appendLe32(out, m.uncompressedSize);
        }
        directory += "PK\x01\x02";
        directory += static_cast<char>(20);           // made by: format version
        directory += static_cast<char>(m.hostSystem); // made by: host system
        appendLe16(directory, 20);
        appendLe16(directory, m.flags);
        appendLe16(directory, m.method);
        appendLe32(directory, kDosTime);
        appendLe32(directory, m.crc);
        appendLe32(directory, compressed);
        appendLe32(directory, m.uncompressedSize);
        appendLe16(directory, static_cast<std::uint32_t>(m.name.size()));
        appendLe16(directory, 0);    // extra field length
        appendLe16(directory, 0);    // comment length
        appendLe16(directory, 0);    // disk number start
        appendLe16(directory, 0);    // internal attributes
        appendLe32(directory, 0x20); // external attributes: archive bit
        appendLe32(directory, offset);
        directory += m.name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(out.size());
    out += directory;
    out += "PK\x05\x06";
    appendLe16(out, 0); // this disk
    appendLe16(out, 0); // disk of the directory
    appendLe16(out, static_cast<std::uint32_t>(members.size()));
    appendLe16(out, static_cast<std::uint32_t>(members.size()));
    appendLe32(out, static_cast<std::uint32_t>(directory.size()));
    appendLe32(out, directoryOffset);
    appendLe16(out, static_cast<std::uint32_t>(comment.size()));
    out += comment;
    return out;
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
