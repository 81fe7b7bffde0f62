// Implode: fixtures from the test encoder in every variant, each first checked by Info-ZIP
// unzip, and malformed trees and streams.
#include "ArchiveTestSupport.h"
#include "ImplodeEncoder.h"

#include <gtest/gtest.h>

using namespace vantle;
using namespace vantle::test;

namespace {

std::string implodeZip(const std::string& stream, std::string_view content,
                       const ImplodeOptions& options, std::uint16_t moreFlags = 0) {
    return buildZip({packedMember("m", 6, stream, content,
                                  static_cast<std::uint16_t>(options.flags() | moreFlags))});
}

// The independent decoder must agree before Tunzip is asked.
void expectBothDecode(const std::string& zip, const std::string& content) {
    const ProcessRun check = infoZip(zip, "-t", "m");
    ASSERT_EQ(check.status, 0) << check.output;
    ASSERT_NE(check.output.find("No errors detected"), std::string::npos) << check.output;
    ASSERT_EQ(infoZip(zip, "-p", "m").output, content);
    EXPECT_EQ(extract(zip, "m"), content);
}

} // namespace

TEST(ExplodeFixtures, EveryVariantDecodesWhatWasImploded) {
    // Text and binary, longer than both dictionaries; long runs take the extra length byte.
    const std::string content =
        sampleText(30000) + sampleBinary(12000) + std::string(900, 'r') + sampleText(9000, 3);
    for (const bool big : {false, true}) {
        for (const bool literalTree : {false, true}) {
            SCOPED_TRACE(std::string(big ? "8 KiB" : "4 KiB") +
                         (literalTree ? ", literal tree" : ", no literal tree"));
            const ImplodeOptions options{big, literalTree};
            expectBothDecode(implodeZip(implode(content, options), content, options), content);
        }
    }
}

TEST(ExplodeFixtures, ReferencesBeforeTheOutputGiveZeros) {
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "8 KiB with literal tree" : "4 KiB without");
        const ImplodeOptions options{big, big};
        const unsigned shortest = big ? 3 : 2;
        const unsigned far = big ? 8000 : 4000;
        const std::vector<ImplodeToken> tokens = {
            {0, 0, 'a'},            //
            {4, shortest + 2, 0},   // starts three bytes before the output
            {300, shortest + 5, 0}, // all of it before the output
            {0, 0, 'b'},            //
            {far, 7, 0},            // from the far end of the dictionary
        };
        std::string content;
        for (const ImplodeToken& t : tokens) {
            if (t.distance == 0)
                content += static_cast<char>(t.literal);
            for (unsigned i = 0; i < t.length; ++i)
                content +=
                    content.size() >= t.distance ? content[content.size() - t.distance] : '\0';
        }
        expectBothDecode(implodeZip(implodeTokens(tokens, options), content, options), content);
    }
}

TEST(ExplodeBadStreams, GiveTheirFailure) {
    const std::string zipFileError = "Archive error: Zip File Error";
    const std::string readError = "Archive error: Read Error";
    // A tree of `symbols` codes of `length` bits: runs of 16 as (15 << 4 | length - 1).
    auto tree = [](unsigned symbols, unsigned length) {
        std::string bytes(1, static_cast<char>((symbols + 15) / 16 - 1)); // runs - 1
        for (unsigned left = symbols; left > 0; left -= std::min(left, 16u))
            bytes += static_cast<char>((std::min(left, 16u) - 1) << 4 | (length - 1));
        return bytes;
    };
    const std::string lengths = tree(64, 6); // complete: 64 codes of 6 bits
    const std::string content = sampleText(5000);
    const ImplodeOptions withLiterals{false, true};
    const ImplodeOptions plain{false, false};
    const std::string good = implode(content, plain);
    struct Case {
        const char* what;
        std::string stream;
        ImplodeOptions options;
        std::uint16_t moreFlags;
        std::string message;
    };
    const Case cases[] = {
        {"literal tree of 255 codes", tree(255, 8) + lengths + lengths, withLiterals, 0,
         zipFileError},
        {"literal tree of 257 codes", tree(257, 8) + lengths + lengths, withLiterals, 0,
         zipFileError},
        {"length tree of 65 codes", tree(65, 6) + lengths, plain, 0, zipFileError},
        {"distance tree of 63 codes", lengths + tree(63, 6), plain, 0, zipFileError},
        {"over-subscribed tree", tree(64, 1) + lengths, plain, 0, zipFileError},
        {"incomplete tree", lengths + tree(64, 7), plain, 0, zipFileError},
        {"trees cut short", lengths.substr(0, 3), plain, 0, readError},
        {"data cut short", good.substr(0, good.size() / 2), plain, 0, readError},
        // With sizes after the data the output has no end but the input's.
        {"sizes after the data", good, plain, 8, readError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extractFailure(implodeZip(c.stream, content, c.options, c.moreFlags), "m"),
                  c.message);
    }
}
