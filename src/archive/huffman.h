// Decoding tables for the prefix codes of deflate and implode, built from code lengths, and the
// symbol look-up over them.
#pragma once

#include "archive/zipState.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vantle {

// What an entry decodes to. A kind below kindLiteral is a length or distance: the value is its
// base and the kind its number of extra bits.
enum : std::uint8_t { kindLiteral = 64, kindEnd = 65, kindLink = 66, kindInvalid = 255 };

struct ThuffEntry {
    std::uint8_t bits; // the code's whole length; for a link, the sub-table's index width
    std::uint8_t kind;
    std::uint16_t value; // symbol, base, or a link's sub-table offset
};

// A first level indexed by the next `bits` input bits, followed by the sub-tables of the
// longer codes. An empty code has one invalid entry and no index bits.
struct ThuffTable {
    std::vector<ThuffEntry> entries;
    unsigned bits = 0;
};

// Builds the table of the code with these lengths (0: symbol unused; above 16: badCodeLengths).
// Symbols below `literals` decode as themselves, 256 as end of block; the next ones take their
// base and extra bits from `bases` and `extras`, any further ones are invalid. The first level
// is `wantedBits` wide, kept between the shortest and the longest code. Returns badCodeLengths
// for an over-subscribed code, incompleteCode for an incomplete one whose longest code is longer
// than one bit (the table is built all the same), noMemory, or ok.
TzipResult buildHuffman(std::span<const std::uint8_t> lengths, unsigned literals,
                        std::span<const std::uint16_t> bases, std::span<const std::uint8_t> extras,
                        unsigned wantedBits, ThuffTable& table);

// The entry of the next code, its bits dropped; an invalid entry drops nothing. Implode stores
// its codes inverted, so `inverted` matches them against the complement of the input. Unchecked,
// the caller has made sure that 16 bits are pending.
template <bool inverted = false, bool checked = true>
inline ThuffEntry decodeSymbol(TzipState& state, TbitReader& reader, const ThuffEntry* entries,
                               unsigned bits) {
    if constexpr (checked)
        state.need(reader, bits);
    const std::uint64_t pending = inverted ? ~reader.buffer : reader.buffer;
    ThuffEntry e = entries[pending & ((1u << bits) - 1)];
    if (e.kind == kindLink) {
        if constexpr (checked)
            state.need(reader, bits + e.bits);
        const std::uint64_t rest = (inverted ? ~reader.buffer : reader.buffer) >> bits;
        e = entries[e.value + (rest & ((1u << e.bits) - 1))];
    }
    if (e.kind != kindInvalid)
        reader.drop(e.bits);
    return e;
}

} // namespace vantle
