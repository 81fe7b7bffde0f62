// Deflate: streams written field by field for the edge cases and the failures, and zlib's
// output at every level and strategy. Valid crafted streams are checked against zlib too,
// where zlib accepts them; the CRC-32 against zlib's.
#include "archive/crc32.h"

#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>

using namespace vantle;
using namespace vantle::test;

namespace {

// RFC 1951, 3.2.5.
constexpr unsigned kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr unsigned kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr unsigned kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr unsigned kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr unsigned kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

// Deflate blocks, field by field.
class Deflate {
public:
    void header(bool last, unsigned type) {
        w.bits(last ? 1 : 0, 1); // BFINAL
        w.bits(type, 2);         // BTYPE
    }
    void stored(bool last, std::string_view bytes) {
        header(last, 0);
        w.alignToByte();
        const auto length = static_cast<std::uint32_t>(bytes.size());
        w.bits(length, 16);           // LEN
        w.bits(~length & 0xFFFF, 16); // NLEN
        w.bytes(bytes);
    }
    // The fixed literal/length code (RFC 1951, 3.2.6).
    void fixed(unsigned symbol) {
        if (symbol < 144)
            w.code(0x30 + symbol, 8);
        else if (symbol < 256)
            w.code(0x190 + symbol - 144, 9);
        else if (symbol < 280)
            w.code(symbol - 256, 7);
        else
            w.code(0xC0 + symbol - 280, 8);
    }
    void fixedMatch(unsigned length, unsigned distance) {
        unsigned s = 28;
        while (kLengthBase[s] > length)
            --s;
        fixed(257 + s);
        w.bits(length - kLengthBase[s], kLengthExtra[s]);
        unsigned d = 29;
        while (kDistanceBase[d] > distance)
            --d;
        w.code(d, 5); // fixed distance codes are their five-bit symbol
        w.bits(distance - kDistanceBase[d], kDistanceExtra[d]);
    }
    // A dynamic header: HLIT, HDIST, HCLEN, then the first `stored` code-length code lengths in
    // their stored order (codeLengths is by symbol).
    void dynamic(bool last, unsigned literals, unsigned distances, std::vector<int> codeLengths,
                 unsigned stored = 19) {
        header(last, 2);
        w.bits(literals - 257, 5); // HLIT
        w.bits(distances - 1, 5);  // HDIST
        w.bits(stored - 4, 4);     // HCLEN
        for (unsigned i = 0; i < stored; ++i)
            w.bits(static_cast<std::uint32_t>(codeLengths[kCodeLengthOrder[i]]), 3);
        lengthCode_ = std::move(codeLengths);
    }
    // A code-length symbol in the header's code, then its extra bits.
    void length(unsigned symbol, std::uint32_t extra = 0, unsigned extraBits = 0) {
        send(lengthCode_, symbol);
        w.bits(extra, extraBits);
    }
    // Every length as a plain code-length symbol.
    void lengths(const std::vector<int>& all) {
        for (const int l : all)
            length(static_cast<unsigned>(l));
    }
    void send(const std::vector<int>& lengths, unsigned symbol) {
        w.code(canonicalCodes(lengths)[symbol], static_cast<unsigned>(lengths[symbol]));
    }
    std::string finish() { return w.finish(); }

    BitWriter w;

private:
    std::vector<int> lengthCode_;
};

// What a back-reference produces when everything before the output reads as zero.
void copyBack(std::string& out, unsigned distance, unsigned length) {
    for (unsigned i = 0; i < length; ++i)
        out += out.size() >= distance ? out[out.size() - distance] : '\0';
}

std::string inflateZip(const std::string& stream, std::string_view content = {}) {
    return buildZip({packedMember("m", 8, stream, content)});
}

std::vector<int> codeLengthsOf(std::initializer_list<std::pair<unsigned, int>> symbols) {
    std::vector<int> lengths(19);
    for (const auto& [symbol, length] : symbols)
        lengths[symbol] = length;
    return lengths;
}

} // namespace

TEST(InflateBlocks, SmallStreamsDecode) {
    struct Case {
        const char* what;
        std::string stream;
        std::string expected;
        bool zlibAgrees; // zlib refuses references before the output
    };
    std::vector<Case> cases;
    {
        Deflate d;
        d.header(true, 1);
        d.fixed('A');
        d.fixed(256);
        cases.push_back({"one literal, fixed codes", d.finish(), "A", true});
    }
    {
        Deflate d;
        d.stored(true, "");
        cases.push_back({"stored block of length 0", d.finish(), "", true});
    }
    {
        Deflate d;
        d.header(true, 1);
        d.fixed('x');
        d.fixedMatch(10, 5); // four bytes before the output, then the pattern repeats
        d.fixed(256);
        std::string expected = "x";
        copyBack(expected, 5, 10);
        cases.push_back({"first match reaches before the output", d.finish(), expected, false});
    }
    {
        const std::string big = sampleBinary(10000);
        Deflate d;
        d.stored(false, "abc");
        d.header(false, 1);
        d.fixed('d');
        d.fixedMatch(6, 4); // "abcd" again, overlapping
        d.fixed(256);
        d.stored(false, big); // after an unaligned block, across input buffer refills
        d.header(true, 1);
        d.fixed(256);
        cases.push_back({"several blocks", d.finish(), "abcdabcdab" + big, true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.zlibAgrees) {
            EXPECT_EQ(rawInflate(c.stream), c.expected);
        }
        EXPECT_EQ(extract(inflateZip(c.stream, c.expected), "m"), c.expected);
    }
}

TEST(InflateWindow, DistanceOf32768AcrossAFlush) {
    std::string expected = sampleBinary(40000);
    Deflate d;
    d.stored(false, expected);
    d.header(true, 1);
    d.fixedMatch(258, 32768); // from the window's previous round, across the flush at 32,768
    d.fixedMatch(258, 32768);
    d.fixed('z');
    d.fixedMatch(3, 1);
    d.fixed(256);
    copyBack(expected, 32768, 258);
    copyBack(expected, 32768, 258);
    expected += 'z';
    copyBack(expected, 1, 3);
    const std::string stream = d.finish();
    EXPECT_EQ(rawInflate(stream), expected);
    EXPECT_EQ(extract(inflateZip(stream, expected), "m"), expected);
}

TEST(InflateDynamic, AcceptsHlit30) {
    // 287 literal/length lengths: 0 to 224 of 8 bits, 225 to 286 of 9 (complete); one distance
    // of 1 bit. zlib refuses more than 286, so only the result is checked.
    std::vector<int> literals(287, 8);
    std::fill(literals.begin() + 225, literals.end(), 9);
    const std::vector<int> distances = {1};
    Deflate d;
    d.dynamic(true, 287, 1, codeLengthsOf({{8, 1}, {9, 2}, {1, 2}}), 18);
    d.lengths(literals);
    d.lengths(distances);
    for (const unsigned char c : std::string("ab"))
        d.send(literals, c);
    d.send(literals, 257); // length 3...
    d.send(distances, 0);  // ...at distance 1
    d.send(literals, 255);
    d.send(literals, 256);
    const std::string expected = "abbbb\xff";
    EXPECT_EQ(extract(inflateZip(d.finish(), expected), "m"), expected);
}

TEST(InflateZlib, DecodesWhatZlibWrites) {
    const std::string data = sampleText(150000) + sampleBinary(100000) + sampleText(50000, 2);
    std::string noise;
    for (std::size_t i = 0; i < 70000; ++i)
        noise += static_cast<char>((i * 2654435761u) >> 13);
    struct Case {
        const char* what;
        std::string data;
        int level;
        int strategy;
    };
    const Case cases[] = {
        {"level 0: stored blocks", data, 0, 0},
        {"level 1", data, 1, 0},
        {"level 6", data, 6, 0},
        {"level 9", data, 9, 0},
        {"filtered", data, 6, 1},
        {"Huffman only", data, 6, 2},
        {"run lengths", data, 6, 3},
        {"fixed codes", data, 6, 4},
        {"incompressible", noise, 6, 0},
        {"empty", "", 6, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string zip = inflateZip(rawDeflate(c.data, c.level, c.strategy), c.data);
        EXPECT_EQ(extract(zip, "m"), c.data);
    }
}

TEST(InflateBadStreams, GiveTheirFailure) {
    const std::string zipFileError = "Archive error: Zip File Error";
    const std::string readError = "Archive error: Read Error";
    struct Case {
        const char* what;
        std::string stream;
        std::string message;
    };
    std::vector<Case> cases;
    {
        Deflate d;
        d.header(true, 3);
        cases.push_back({"block type 3", d.finish(), zipFileError});
    }
    {
        Deflate d;
        d.header(true, 0);
        d.w.alignToByte();
        d.w.bits(5, 16); // LEN
        d.w.bits(5, 16); // NLEN, not its complement
        d.w.bytes("abcde");
        cases.push_back({"stored length check", d.finish(), zipFileError});
    }
    {
        Deflate d;
        d.header(true, 0);
        d.w.alignToByte();
        d.w.bits(10, 16);
        d.w.bits(~10u & 0xFFFF, 16);
        d.w.bytes("abc"); // seven bytes short
        cases.push_back({"stored block cut short", d.finish(), readError});
    }
    {
        Deflate d; // four code-length codes of one bit
        d.dynamic(true, 257, 1, codeLengthsOf({{16, 1}, {17, 1}, {18, 1}, {0, 1}}), 4);
        cases.push_back({"over-subscribed code-length code", d.finish(), zipFileError});
    }
    {
        Deflate d; // two codes of two bits leave half the code space
        d.dynamic(true, 257, 1, codeLengthsOf({{16, 2}, {0, 2}}), 4);
        cases.push_back({"incomplete code-length code", d.finish(), zipFileError});
    }
    {
        Deflate d; // every literal/length of one bit
        d.dynamic(true, 257, 1, codeLengthsOf({{0, 1}, {1, 1}}), 18);
        d.lengths(std::vector<int>(258, 1));
        cases.push_back({"over-subscribed literal/length code", d.finish(), zipFileError});
    }
    {
        Deflate d; // symbols 0 and 256 of two bits only
        d.dynamic(true, 257, 1, codeLengthsOf({{0, 1}, {2, 1}}), 16);
        std::vector<int> all(258, 0);
        all[0] = all[256] = 2;
        d.lengths(all);
        cases.push_back({"incomplete literal/length code", d.finish(), zipFileError});
    }
    {
        Deflate d;
        d.dynamic(true, 257, 1, codeLengthsOf({{18, 1}, {1, 1}}), 18);
        d.length(18, 127, 7); // 138 zeros
        d.length(18, 127, 7); // 138 more: past the 258 lengths
        cases.push_back({"zero run past the lengths", d.finish(), zipFileError});
    }
    {
        Deflate d;
        d.dynamic(true, 257, 1, codeLengthsOf({{17, 1}, {1, 1}}), 18);
        for (int i = 0; i < 26; ++i)
            d.length(17, 7, 3); // 10 zeros each; the 26th run passes the 258 lengths
        cases.push_back({"short zero run past the lengths", d.finish(), zipFileError});
    }
    {
        Deflate d;
        d.header(true, 1);
        d.fixed(286); // has a fixed code, but no length
        cases.push_back({"literal/length symbol 286", d.finish(), zipFileError});
    }
    {
        Deflate d;
        d.header(true, 1);
        d.fixed('a');
        d.fixed(257);
        d.w.code(30, 5); // distance symbol 30
        cases.push_back({"distance symbol 30", d.finish(), zipFileError});
    }
    {
        // Literal/lengths 256 and 257 of one bit; the one distance length is 0.
        std::vector<int> literals(258, 0);
        literals[256] = literals[257] = 1;
        Deflate d;
        d.dynamic(true, 258, 1, codeLengthsOf({{0, 1}, {1, 1}}), 18);
        d.lengths(literals);
        d.lengths({0});
        d.send(literals, 257); // length 3, then a distance nothing can code
        cases.push_back({"a length without a distance code", d.finish(), zipFileError});
    }
    {
        std::vector<int> literals(258, 0);
        literals[256] = literals[257] = 1;
        Deflate d;
        d.dynamic(true, 258, 3, codeLengthsOf({{0, 1}, {1, 1}}), 18);
        d.lengths(literals);
        d.lengths({1, 1, 1}); // three distances of one bit
        cases.push_back({"over-subscribed distance code", d.finish(), zipFileError});
    }
    cases.push_back({"no data at all", "", readError});
    {
        Deflate d;
        d.header(false, 1);
        d.fixed('a');
        d.fixed(256); // not the last block, and nothing follows
        cases.push_back(
            {"the data ends after a block that is not the last", d.finish(), readError});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extractFailure(inflateZip(c.stream, "a"), "m"), c.message);
    }
}

TEST(InflateBadStreams, ACutStreamIsAReadError) {
    const std::string data = sampleText(20000);
    const std::string stream = rawDeflate(data);
    for (const std::size_t length : {std::size_t{1}, stream.size() / 2, stream.size() - 1}) {
        SCOPED_TRACE(length);
        // The directory right after the data is not read as more of it.
        const std::string zip = inflateZip(stream.substr(0, length), data);
        EXPECT_EQ(extractFailure(zip, "m"), "Archive error: Read Error");
    }
}

TEST(InflateCrc32, MatchesZlibAtEveryLengthAndAlignment) {
    // The folding path takes whole 16-byte blocks from 64 bytes on, the tables the rest.
    const std::string data = sampleBinary(70000) + sampleText(1000);
    for (const std::size_t offset : {0, 1, 7, 13}) {
        for (std::size_t length = 0; length < 300; ++length) {
            const std::string_view part = std::string_view(data).substr(offset, length);
            ASSERT_EQ(~updateCrc32(0xFFFFFFFF, reinterpret_cast<const std::uint8_t*>(part.data()),
                                   part.size()),
                      crc32Of(part))
                << offset << " " << length;
        }
        const std::string_view all = std::string_view(data).substr(offset);
        EXPECT_EQ(
            ~updateCrc32(0xFFFFFFFF, reinterpret_cast<const std::uint8_t*>(all.data()), all.size()),
            crc32Of(all));
    }
}
