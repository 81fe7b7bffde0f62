// Method 8, deflate (RFC 1951): stored, fixed-code and dynamic-code blocks decoded into the
// shared 32 KiB window.
#include "archive/decoders.h"
#include "archive/huffman.h"

#include <algorithm>

namespace vantle {
namespace {

constexpr std::uint16_t kLengthBases[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                            15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                            67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtras[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                            2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBases[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistanceExtras[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                              6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

// First-level widths: wide enough that nearly every literal, length and distance of a real
// stream is one look-up.
constexpr unsigned kLiteralBits = 10;
constexpr unsigned kDistanceBits = 8;
constexpr unsigned kCodeLengthBits = 7;

constexpr unsigned kLiteralSymbols = 257; // 0 to 255 and end of block
constexpr unsigned kMaxLengths = 288 + 32;

class Tinflater {
public:
    explicit Tinflater(TzipState& state)
        : s(state) {}

    TzipResult run() {
        s.windowPos = 0;
        for (;;) {
            if (s.bits.endOfInput)
                return TzipResult::readError;
            const bool last = s.take(1) != 0;
            TzipResult result = TzipResult::zipFileError;
            switch (s.take(2)) {
            case 0:
                result = storedBlock();
                break;
            case 1:
                result = fixedBlock();
                break;
            case 2:
                result = dynamicBlock();
                break;
            default:
                break;
            }
            if (result != TzipResult::ok)
                return result;
            if (last)
                break;
        }
        if (s.windowPos > 0 && !s.flushWindow(s.windowPos))
            return TzipResult::writeError;
        return TzipResult::ok;
    }

private:
    TzipResult storedBlock() {
        s.bits.alignToByte();
        const std::uint32_t length = s.take(16);
        const std::uint32_t complement = s.take(16);
        if (length != (~complement & 0xFFFF))
            return TzipResult::zipFileError;
        std::uint32_t remaining = length;
        while (remaining > 0) {
            const unsigned run = std::min(remaining, kWindowSize - s.windowPos);
            const std::size_t got = s.takeBytes(s.window.get() + s.windowPos, run);
            s.windowPos += static_cast<unsigned>(got);
            if (got < run)
                return TzipResult::readError;
            remaining -= run;
            if (s.windowPos == kWindowSize) {
                s.windowPos = 0;
                if (!s.flushWindow(kWindowSize))
                    return TzipResult::writeError;
            }
        }
        return TzipResult::ok;
    }

    TzipResult fixedBlock() {
        if (!haveFixed_) {
            std::uint8_t lengths[288];
            std::fill(lengths, lengths + 144, std::uint8_t{8});
            std::fill(lengths + 144, lengths + 256, std::uint8_t{9});
            std::fill(lengths + 256, lengths + 280, std::uint8_t{7});
            std::fill(lengths + 280, lengths + 288, std::uint8_t{8});
            const TzipResult built = buildHuffman(lengths, kLiteralSymbols, kLengthBases,
                                                  kLengthExtras, kLiteralBits, fixedLiterals_);
            if (built != TzipResult::ok)
                return built;
            std::fill(lengths, lengths + 30, std::uint8_t{5});
            // Thirty of the 32 five-bit codes are used, so the code is incomplete by design.
            const TzipResult distances =
                buildHuffman(std::span(lengths, 30), 0, kDistanceBases, kDistanceExtras,
                             kDistanceBits, fixedDistances_);
            if (distances != TzipResult::ok && distances != TzipResult::incompleteCode)
                return TzipResult::zipFileError;
            haveFixed_ = true;
        }
        return codes(fixedLiterals_, fixedDistances_);
    }

    TzipResult dynamicBlock() {
        const unsigned literalCount = s.take(5) + 257;
        const unsigned distanceCount = s.take(5) + 1;
        const unsigned codeLengthCount = s.take(4) + 4;
        std::uint8_t codeLengths[19] = {};
        for (unsigned i = 0; i < codeLengthCount; ++i)
            codeLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(s.take(3));
        if (buildHuffman(codeLengths, 19, {}, {}, kCodeLengthBits, lengthCode_) != TzipResult::ok)
            return TzipResult::zipFileError;

        // The literal/length and distance lengths form one sequence; repeats may cross from
        // one into the other.
        std::uint8_t lengths[kMaxLengths];
        const unsigned total = literalCount + distanceCount;
        unsigned n = 0;
        std::uint8_t previous = 0;
        while (n < total) {
            if (s.bits.endOfInput)
                return TzipResult::readError;
            const ThuffEntry e =
                decodeSymbol(s, s.bits, lengthCode_.entries.data(), lengthCode_.bits);
            if (e.kind != kindLiteral)
                return TzipResult::zipFileError;
            unsigned repeat = 0;
            std::uint8_t value = 0;
            if (e.value < 16) {
                lengths[n++] = previous = static_cast<std::uint8_t>(e.value);
                continue;
            }
            if (e.value == 16) {
                repeat = 3 + s.take(2);
                value = previous;
                if (n + repeat > total)
                    return TzipResult::incompleteCode;
            } else if (e.value == 17) {
                repeat = 3 + s.take(3);
                if (n + repeat > total)
                    return TzipResult::incompleteCode;
            } else {
                repeat = 11 + s.take(7);
                if (n + repeat > total)
                    return TzipResult::zipFileError;
            }
            std::fill(lengths + n, lengths + n + repeat, value);
            n += repeat;
            previous = value;
        }
        if (buildHuffman(std::span(lengths, literalCount), kLiteralSymbols, kLengthBases,
                         kLengthExtras, kLiteralBits, literals_) != TzipResult::ok)
            return TzipResult::zipFileError;
        // An incomplete distance code is allowed: writers emit one for a single distance.
        const TzipResult distances =
            buildHuffman(std::span(lengths + literalCount, distanceCount), 0, kDistanceBases,
                         kDistanceExtras, kDistanceBits, distances_);
        if (distances != TzipResult::ok && distances != TzipResult::incompleteCode)
            return TzipResult::zipFileError;
        return codes(literals_, distances_);
    }

    enum class Step { more, end, invalid, writeFailed };

    // One literal, end of block or back-reference. Unchecked, the caller has made sure that the
    // longest of them (a 15-bit code with 5 extra bits, a 15-bit distance with 13) is pending.
    template <bool checked>
    Step symbol(TbitReader& r, std::uint8_t* window, unsigned& pos, const ThuffEntry* literals,
                unsigned literalBits, const ThuffEntry* distances, unsigned distanceBits) {
        const ThuffEntry e = decodeSymbol<false, checked>(s, r, literals, literalBits);
        if (e.kind == kindLiteral)
            return putByte(s, window, pos, static_cast<std::uint8_t>(e.value)) ? Step::more
                                                                               : Step::writeFailed;
        if (e.kind == kindEnd)
            return Step::end;
        if (e.kind >= kindLiteral)
            return Step::invalid;
        if constexpr (checked)
            s.need(r, e.kind);
        const unsigned length = e.value + r.peek(e.kind);
        r.drop(e.kind);
        const ThuffEntry d = decodeSymbol<false, checked>(s, r, distances, distanceBits);
        if (d.kind >= kindLiteral)
            return Step::invalid;
        if constexpr (checked)
            s.need(r, d.kind);
        const unsigned distance = d.value + r.peek(d.kind);
        r.drop(d.kind);
        return copyMatch(s, window, pos, distance, length) ? Step::more : Step::writeFailed;
    }

    // The hot loop: reader, window and position live in locals so that stores into the window
    // do not make the compiler reload them. While the input buffer holds eight bytes, one refill
    // serves a whole symbol.
    TzipResult codes(const ThuffTable& literalTable, const ThuffTable& distanceTable) {
        constexpr unsigned kLongestSymbol = 15 + 5 + 15 + 13;
        TbitReader r = s.bits;
        std::uint8_t* const window = s.window.get();
        unsigned pos = s.windowPos;
        const ThuffEntry* const literals = literalTable.entries.data();
        const unsigned literalBits = literalTable.bits;
        const ThuffEntry* const distances = distanceTable.entries.data();
        const unsigned distanceBits = distanceTable.bits;
        Step step = Step::more;
        while (step == Step::more) {
            if (r.end - r.next >= 8) {
                // The data has not run out while the buffer holds bytes.
                if (r.count < kLongestSymbol)
                    s.refill(r, kLongestSymbol);
                step =
                    symbol<false>(r, window, pos, literals, literalBits, distances, distanceBits);
            } else if (r.endOfInput) {
                break;
            } else {
                step = symbol<true>(r, window, pos, literals, literalBits, distances, distanceBits);
            }
        }
        s.bits = r;
        s.windowPos = pos;
        switch (step) {
        case Step::end:
            return TzipResult::ok;
        case Step::invalid:
            return TzipResult::zipFileError;
        case Step::writeFailed:
            return TzipResult::writeError;
        case Step::more:
            break;
        }
        return TzipResult::readError;
    }

    TzipState& s;
    ThuffTable lengthCode_;
    ThuffTable literals_;
    ThuffTable distances_;
    ThuffTable fixedLiterals_;
    ThuffTable fixedDistances_;
    bool haveFixed_ = false;
};

} // namespace

TzipResult inflate(TzipState& state) {
    Tinflater inflater(state);
    return inflater.run();
}

} // namespace vantle
