// The decoding state of one member, shared by the decoders: the input buffer and bit reader
// over the member's compressed bytes, the 32 KiB output window and the running CRC-32.
#pragma once

#include "archive/crc32.h"
#include "archive/unzip.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace vantle {

constexpr unsigned kWindowSize = 32768;
constexpr std::size_t kInputSize = 4096;
// Zero bytes a decoder may look ahead past the end of the data without the input counting as
// ended: a code lookup needs at most 16 bits of which at least one is real.
constexpr unsigned kLookaheadSlack = 2;

inline std::uint64_t loadLittleEndian64(const std::uint8_t* p) {
    std::uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, p, 8);
    } else {
        for (int i = 7; i >= 0; --i)
            word = word << 8 | p[i];
    }
    return word;
}

// Pending input bits, the next one lowest. Decoders keep a copy in a local while they run so
// that it lives in registers, and give it to TzipState::refill to top it up.
struct TbitReader {
    std::uint64_t buffer = 0;
    unsigned count = 0; // pending bits, padding included
    const std::uint8_t* next = nullptr;
    const std::uint8_t* end = nullptr;
    unsigned padding = 0; // zero bytes supplied after the data ran out
    bool endOfInput = false;

    std::uint32_t peek(unsigned n) const {
        return static_cast<std::uint32_t>(buffer & ((std::uint64_t{1} << n) - 1));
    }
    void drop(unsigned n) {
        buffer >>= n;
        count -= n;
    }
    void alignToByte() { drop(count & 7); }
    // Padding reached the decoder: the data ended before the compressed stream did.
    bool overran() const { return count < 8 * padding; }
};

struct TzipState {
    // The member's data still to be read: source bytes [dataNext, dataEnd).
    std::string_view source;
    std::size_t dataNext = 0;
    std::size_t dataEnd = 0;

    std::uint8_t input[kInputSize];
    TbitReader bits;

    std::int64_t compressedSize = 0;
    std::int64_t uncompressedSize = 0;
    bool sizesKnown = true;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0xFFFFFFFF;

    std::unique_ptr<std::uint8_t[]> window;
    unsigned windowPos = 0;
    TzipTarget* target = nullptr;

    // Resets the input and the CRC for the member whose data starts at dataStart; with unknown
    // sizes the data runs to the end of the source.
    void beginMember(std::string_view archive, std::size_t dataStart, bool known);

    // The one way compressed input reaches a decoder: tops the reader up to at least n pending
    // bits (more when the input buffer has them) from the input buffer, refilling that from the
    // member's data. Past the data it adds zero bytes and, beyond the look-ahead slack, sets
    // endOfInput.
    void refill(TbitReader& reader, unsigned n) {
        if (reader.end - reader.next >= 8) {
            // Eight bytes at once; the bytes past the whole ones taken sit above the pending
            // bits and are or-ed in again, unchanged, by the next refill.
            reader.buffer |= loadLittleEndian64(reader.next) << reader.count;
            reader.next += (63 - reader.count) >> 3;
            reader.count |= 56;
        } else {
            reader = refillNearBufferEnd(reader, n);
        }
    }
    void need(TbitReader& reader, unsigned n) {
        if (reader.count < n)
            refill(reader, n);
    }
    void need(unsigned n) { need(bits, n); }
    std::uint32_t take(unsigned n) {
        need(n);
        const std::uint32_t value = bits.peek(n);
        bits.drop(n);
        return value;
    }
    // Whole bytes at a byte boundary of the bit stream: the reader's pending bytes first, then
    // the input buffer. Returns how many there were; fewer than n sets endOfInput.
    std::size_t takeBytes(std::uint8_t* to, std::size_t n);
    // Bytes straight from the member's data, past the input buffer (stored members).
    std::size_t readData(std::uint8_t* to, std::size_t n);

    // Hands bytes to the target, counting them into the CRC; false when it took fewer.
    bool flush(const std::uint8_t* data, std::size_t n);
    bool flushWindow(unsigned n) { return flush(window.get(), n); }

private:
    TbitReader refillNearBufferEnd(TbitReader reader, unsigned n);
    bool fillInput(TbitReader& reader);
};

// Window helpers of the decoders that keep a sliding dictionary.

// Puts a byte into the window, flushing it when it fills; false when the flush failed.
inline bool putByte(TzipState& state, std::uint8_t* window, unsigned& pos, std::uint8_t byte) {
    window[pos++] = byte;
    if (pos < kWindowSize)
        return true;
    pos = 0;
    return state.flushWindow(kWindowSize);
}

// The general back-reference copy: runs that stop at the window's end, for the source and the
// destination alike, flushing whenever the window fills.
bool copyAcrossWindow(TzipState& state, std::uint8_t* window, unsigned& pos, unsigned distance,
                      unsigned length);

// Copies length bytes from distance back. Each byte is the one distance before it, so an
// overlapping copy repeats the pattern; a source before the member's output reads the window's
// zero bytes.
inline bool copyMatch(TzipState& state, std::uint8_t* window, unsigned& pos, unsigned distance,
                      unsigned length) {
    const unsigned source = (pos - distance) & (kWindowSize - 1);
    // Both runs must lie whole inside the window; a source from the window's previous round
    // (at or above pos) must also start eight bytes or more past pos.
    if (pos + length >= kWindowSize || source + length > kWindowSize ||
        (source >= pos && source - pos < 8))
        return copyAcrossWindow(state, window, pos, distance, length);
    std::uint8_t* to = window + pos;
    const std::uint8_t* from = window + source;
    pos += length;
    if (distance >= 8 && length >= 8) {
        // Eight bytes at a time never read what an earlier step wrote, nor what the same
        // step writes; the last step may overlap the one before it instead of running past
        // the copy's end.
        unsigned i = 0;
        for (; i + 8 <= length; i += 8)
            std::memcpy(to + i, from + i, 8);
        if (i < length)
            std::memcpy(to + length - 8, from + length - 8, 8);
    } else if (distance == 1) {
        std::memset(to, *from, length);
    } else {
        for (unsigned i = 0; i < length; ++i)
            to[i] = from[i];
    }
    return true;
}

} // namespace vantle
