#include "zipWriter.h"

#include <zlib.h>

#include <memory>
#include <stdexcept>
#include <utility>

namespace vantle::zip {
namespace {

struct DeflateEnd {
    void operator()(z_stream* z) const noexcept { deflateEnd(z); }
};

Bytef* input(std::string_view bytes) {
    return reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
}

void appendLe16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void appendLe32(std::string& out, std::uint32_t value) {
    appendLe16(out, value & 0xFFFF);
    appendLe16(out, value >> 16);
}

// zlib's raw inflate over a whole stream; the z_stream is ended on every path.
class RawInflater {
public:
    explicit RawInflater(std::string_view stream) {
        if (inflateInit2(&z_, -15) != Z_OK)
            throw std::runtime_error("inflateInit2 failed");
        z_.next_in = input(stream);
        z_.avail_in = static_cast<uInt>(stream.size());
    }
    ~RawInflater() { inflateEnd(&z_); }
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;

    // zlib's status after inflating into out; written() tells how much it wrote there.
    int inflateInto(std::span<char> out, int flush) {
        z_.next_out = reinterpret_cast<Bytef*>(out.data());
        z_.avail_out = static_cast<uInt>(out.size());
        const int status = inflate(&z_, flush);
        written_ = out.size() - z_.avail_out;
        return status;
    }
    std::size_t written() const { return written_; }

private:
    z_stream z_{};
    std::size_t written_ = 0;
};

} // namespace

std::string rawDeflate(std::string_view data, int level, int strategy, int memoryLevel) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, memoryLevel, strategy) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    // Ended on every path.
    const std::unique_ptr<z_stream, DeflateEnd> ended(&z);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = input(data);
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    out.resize(z.total_out);
    return out;
}

std::string rawInflate(std::string_view stream) {
    RawInflater inflater(stream);
    std::string out;
    int status = Z_OK;
    while (status == Z_OK) {
        char buffer[16384];
        status = inflater.inflateInto(buffer, Z_NO_FLUSH);
        out.append(buffer, inflater.written());
    }
    if (status != Z_STREAM_END)
        throw std::runtime_error("zlib refuses the stream");
    return out;
}

std::size_t rawInflate(std::string_view stream, std::span<char> out) {
    RawInflater inflater(stream);
    if (inflater.inflateInto(out, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("zlib refuses the stream or it does not fit");
    return inflater.written();
}

std::uint32_t crc32Of(std::string_view data) {
    return static_cast<std::uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

Member packedMember(const std::string& name, std::uint16_t method, std::string data,
                    std::string_view content, std::uint16_t flags) {
    Member m;
    m.name = name;
    m.data = std::move(data);
    m.method = method;
    m.flags = flags;
    m.crc = crc32Of(content);
    m.uncompressedSize = static_cast<std::uint32_t>(content.size());
    return m;
}

Member storedMember(const std::string& name, std::string_view content) {
    return packedMember(name, 0, std::string(content), content);
}

Member deflatedMember(const std::string& name, std::string_view content) {
    return packedMember(name, 8, rawDeflate(content), content);
}

std::string buildZip(const std::vector<Member>& members, std::string_view prefix,
                     std::string_view comment) {
    std::string out(prefix);
    std::string directory;
    for (const Member& m : members) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        const bool descriptor = (m.flags & 8) != 0;
        const auto compressed = static_cast<std::uint32_t>(m.data.size());
        out += "PK\x03\x04";
        appendLe16(out, 20);      // version needed
        appendLe16(out, m.flags); // general-purpose flags
        appendLe16(out, m.method);
        appendLe32(out, m.dosTime);
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
        appendLe32(directory, m.dosTime);
        appendLe32(directory, m.crc);
        appendLe32(directory, compressed);
        appendLe32(directory, m.uncompressedSize);
        appendLe16(directory, static_cast<std::uint32_t>(m.name.size()));
        appendLe16(directory, 0); // extra field length
        appendLe16(directory, 0); // comment length
        appendLe16(directory, 0); // disk number start
        appendLe16(directory, 0); // internal attributes
        appendLe32(directory, m.externalAttributes);
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

} // namespace vantle::zip
