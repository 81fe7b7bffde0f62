// Method 6, implode: a 4 or 8 KiB sliding dictionary with Shannon-Fano coded lengths and
// distances and, optionally, literals. The trees are canonical codes stored bit-inverted.
#include "archive/decoders.h"
#include "archive/huffman.h"

#include <algorithm>

namespace vantle {
namespace {

constexpr unsigned kLiteralBits = 9;
constexpr unsigned kLengthBits = 7;

// A tree: a byte holding the number of following bytes less one, then bytes that each give
// (high nibble + 1) codes of length (low nibble + 1), in symbol order.
TzipResult readTree(TzipState& s, unsigned symbols, std::uint8_t* lengths) {
    const unsigned bytes = s.take(8) + 1;
    unsigned n = 0;
    for (unsigned i = 0; i < bytes; ++i) {
        const std::uint32_t byte = s.take(8);
        const unsigned count = (byte >> 4) + 1;
        if (n + count > symbols)
            return TzipResult::zipFileError;
        std::fill(lengths + n, lengths + n + count, static_cast<std::uint8_t>((byte & 15) + 1));
        n += count;
    }
    return n == symbols ? TzipResult::ok : TzipResult::zipFileError;
}

} // namespace

TzipResult explode(TzipState& s) {
    const bool bigDictionary = (s.flags & 2) != 0;
    const bool literalTree = (s.flags & 4) != 0;
    const unsigned lowBits = bigDictionary ? 7 : 6;
    const unsigned minLength = literalTree ? 3 : 2;

    ThuffTable literals;
    ThuffTable lengths;
    ThuffTable distances;
    std::uint8_t codeLengths[256];
    if (literalTree) {
        if (readTree(s, 256, codeLengths) != TzipResult::ok ||
            buildHuffman(std::span(codeLengths, 256), 256, {}, {}, kLiteralBits, literals) !=
                TzipResult::ok)
            return TzipResult::zipFileError;
    }
    std::uint16_t bases[64];
    std::uint8_t extras[64] = {};
    for (unsigned i = 0; i < 64; ++i)
        bases[i] = static_cast<std::uint16_t>(minLength + i);
    extras[63] = 8; // the longest lengths add a byte
    if (readTree(s, 64, codeLengths) != TzipResult::ok ||
        buildHuffman(std::span(codeLengths, 64), 0, bases, extras, kLengthBits, lengths) !=
            TzipResult::ok)
        return TzipResult::zipFileError;
    for (unsigned i = 0; i < 64; ++i) {
        bases[i] = static_cast<std::uint16_t>(1 + (i << lowBits));
        extras[i] = 0;
    }
    const unsigned distanceBits = s.compressedSize > 200000 ? 8 : 7;
    if (readTree(s, 64, codeLengths) != TzipResult::ok ||
        buildHuffman(std::span(codeLengths, 64), 0, bases, extras, distanceBits, distances) !=
            TzipResult::ok)
        return TzipResult::zipFileError;

    TbitReader r = s.bits;
    std::uint8_t* const window = s.window.get();
    unsigned pos = 0;
    std::int64_t remaining = s.uncompressedSize;
    TzipResult result = TzipResult::ok;
    auto take = [&](unsigned n) {
        s.need(r, n);
        const std::uint32_t value = r.peek(n);
        r.drop(n);
        return value;
    };
    while (remaining > 0 && !r.endOfInput) {
        if (take(1) != 0) {
            std::uint32_t byte = 0;
            if (literalTree) {
                const ThuffEntry e =
                    decodeSymbol<true>(s, r, literals.entries.data(), literals.bits);
                if (e.kind != kindLiteral) {
                    result = TzipResult::zipFileError;
                    break;
                }
                byte = e.value;
            } else {
                byte = take(8);
            }
            if (!putByte(s, window, pos, static_cast<std::uint8_t>(byte))) {
                result = TzipResult::writeError;
                break;
            }
            --remaining;
            continue;
        }
        const std::uint32_t low = take(lowBits);
        const ThuffEntry d = decodeSymbol<true>(s, r, distances.entries.data(), distances.bits);
        if (d.kind == kindInvalid) {
            result = TzipResult::zipFileError;
            break;
        }
        const ThuffEntry l = decodeSymbol<true>(s, r, lengths.entries.data(), lengths.bits);
        if (l.kind == kindInvalid) {
            result = TzipResult::zipFileError;
            break;
        }
        const unsigned length = l.value + take(l.kind);
        if (!copyMatch(s, window, pos, low + d.value, length)) {
            result = TzipResult::writeError;
            break;
        }
        remaining -= std::min<std::int64_t>(length, remaining);
    }
    s.bits = r;
    if (result != TzipResult::ok)
        return result;
    if (pos > 0 && !s.flushWindow(pos))
        return TzipResult::writeError;
    return r.endOfInput ? TzipResult::readError : TzipResult::ok;
}

} // namespace vantle
