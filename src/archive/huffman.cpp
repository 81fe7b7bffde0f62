// Canonical prefix codes into look-up tables: one wide first level for the common short codes,
// a sub-table per first-level prefix of the longer ones, sized by that prefix's longest code.
#include "archive/huffman.h"

#include <algorithm>
#include <new>

namespace vantle {
namespace {

constexpr unsigned kMaxLength = 16;
constexpr ThuffEntry kInvalid{0, kindInvalid, 0};

std::uint32_t reverseBits(std::uint32_t code, unsigned length) {
    std::uint32_t reversed = 0;
    for (unsigned i = 0; i < length; ++i, code >>= 1)
        reversed = reversed << 1 | (code & 1);
    return reversed;
}

} // namespace

TzipResult buildHuffman(std::span<const std::uint8_t> lengths, unsigned literals,
                        std::span<const std::uint16_t> bases, std::span<const std::uint8_t> extras,
                        unsigned wantedBits, ThuffTable& table) {
    unsigned count[kMaxLength + 1] = {};
    for (const std::uint8_t length : lengths) {
        if (length > kMaxLength)
            return TzipResult::badCodeLengths;
        ++count[length];
    }
    try {
        table.entries.clear();
        table.bits = 0;
        if (count[0] == lengths.size()) {
            table.entries.push_back(kInvalid);
            return TzipResult::ok;
        }
        unsigned shortest = 1;
        while (count[shortest] == 0)
            ++shortest;
        unsigned longest = kMaxLength;
        while (count[longest] == 0)
            --longest;
        std::int64_t left = 1; // code space still free, in units of the current length
        for (unsigned length = 1; length <= kMaxLength; ++length) {
            left = 2 * left - count[length];
            if (left < 0)
                return TzipResult::badCodeLengths;
        }

        // Symbols in canonical order (by length, then by symbol) with their codes, reversed
        // because the bit stream delivers a code's first bit lowest.
        unsigned start[kMaxLength + 2] = {};
        for (unsigned length = 1; length <= kMaxLength; ++length)
            start[length + 1] = start[length] + count[length];
        const std::size_t used = start[kMaxLength + 1];
        std::vector<std::uint16_t> symbols(used);
        for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol)
            if (lengths[symbol] != 0)
                symbols[start[lengths[symbol]]++] = static_cast<std::uint16_t>(symbol);
        std::vector<std::uint16_t> reversed(used);
        std::uint32_t code = 0;
        unsigned previous = shortest;
        for (std::size_t k = 0; k < used; ++k) {
            const unsigned length = lengths[symbols[k]];
            code <<= length - previous;
            previous = length;
            reversed[k] = static_cast<std::uint16_t>(reverseBits(code++, length));
        }

        const unsigned first = std::clamp(wantedBits, shortest, longest);
        const std::uint32_t firstMask = (1u << first) - 1;
        auto entryOf = [&](unsigned symbol, unsigned length) {
            const auto bits = static_cast<std::uint8_t>(length);
            if (symbol < literals)
                return ThuffEntry{bits, symbol == 256 ? kindEnd : kindLiteral,
                                  static_cast<std::uint16_t>(symbol)};
            const unsigned i = symbol - literals;
            if (i < bases.size())
                return ThuffEntry{bits, extras[i], bases[i]};
            return ThuffEntry{bits, kindInvalid, 0};
        };

        table.bits = first;
        table.entries.assign(std::size_t{1} << first, kInvalid);
        std::size_t k = 0;
        for (; k < used && lengths[symbols[k]] <= first; ++k) {
            const unsigned length = lengths[symbols[k]];
            for (std::uint32_t i = reversed[k]; i <= firstMask; i += 1u << length)
                table.entries[i] = entryOf(symbols[k], length);
        }
        while (k < used) {
            // Longer codes sharing their first bits are neighbours in canonical order; the
            // group's last code is its longest.
            const std::uint32_t prefix = reversed[k] & firstMask;
            std::size_t last = k;
            while (last + 1 < used && (reversed[last + 1] & firstMask) == prefix)
                ++last;
            const unsigned width = lengths[symbols[last]] - first;
            const std::size_t offset = table.entries.size();
            if (offset + (std::size_t{1} << width) > 0x10000)
                return TzipResult::noMemory;
            table.entries.resize(offset + (std::size_t{1} << width), kInvalid);
            table.entries[prefix] = ThuffEntry{static_cast<std::uint8_t>(width), kindLink,
                                               static_cast<std::uint16_t>(offset)};
            for (; k <= last; ++k) {
                const unsigned length = lengths[symbols[k]];
                for (std::uint32_t i = reversed[k] >> first; i < (1u << width);
                     i += 1u << (length - first))
                    table.entries[offset + i] = entryOf(symbols[k], length);
            }
        }
        return left > 0 && longest > 1 ? TzipResult::incompleteCode : TzipResult::ok;
    } catch (const std::bad_alloc&) {
        table.entries.clear();
        table.bits = 0;
        return TzipResult::noMemory;
    }
}

} // namespace vantle
