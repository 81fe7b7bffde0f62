// Shrink: fixtures from the test encoder with and without partial clears, each first checked
// by Info-ZIP unzip, and malformed control codes.
#include "ArchiveTestSupport.h"
#include "ShrinkEncoder.h"
#include "archive/unzip.h"
#include "lib/runtime/Error.h"

#include <gtest/gtest.h>

using namespace vantle;
using namespace vantle::test;

namespace {

std::string shrinkZip(const std::string& stream, std::string_view content,
                      std::uint16_t flags = 0) {
    return buildZip({packedMember("m", 1, stream, content, flags)});
}

} // namespace

TEST(UnshrinkFixtures, DecodesWhatWasShrunk) {
    const std::string text = sampleText(40000);
    const std::string large = sampleText(150000, 5) + sampleBinary(100000, 5);
    struct Case {
        const char* what;
        std::string content;
        ShrinkOptions options;
        bool clears; // the fixture frees codes and hands them out again
    };
    const Case cases[] = {
        {"no clears", text, {{}, false}, false},
        {"one byte repeated: codes used as they are defined",
         std::string(5000, 'a'),
         {{}, false},
         false},
        {"partial clears at chosen points", text, {{3000, 9000, 9001, 20000}, false}, true},
        {"partial clears whenever the codes run out", large, {{}, true}, true},
        {"both", large, {{3000, 100000}, true}, true},
        {"empty", "", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ShrinkResult shrunk = shrink(c.content, c.options);
        if (c.clears) {
            EXPECT_GT(shrunk.clears, 0u);
            EXPECT_GT(shrunk.reusedCodes, 0u);
        }
        if (c.content.size() == 5000) {
            EXPECT_GT(shrunk.selfReferences, 0u);
        }
        const std::string zip = shrinkZip(shrunk.data, c.content);
        const ProcessRun check = infoZip(zip, "-t", "m");
        ASSERT_EQ(check.status, 0) << check.output;
        ASSERT_EQ(infoZip(zip, "-p", "m").output, c.content);
        EXPECT_EQ(extract(zip, "m"), c.content);
    }
}

TEST(UnshrinkBadStreams, GiveTheirFailure) {
    const std::string zipFileError = "Archive error: Zip File Error";
    auto codes = [](std::initializer_list<std::pair<unsigned, unsigned>> list) {
        BitWriter w;
        for (const auto& [code, width] : list)
            w.bits(code, width);
        return w.finish();
    };
    struct Case {
        const char* what;
        std::string stream;
        std::uint16_t flags;
        std::string message;
    };
    const Case cases[] = {
        {"control code 3", codes({{'a', 9}, {256, 9}, {3, 9}, {'b', 9}}), 0, zipFileError},
        {"widened past 13 bits",
         codes({{'a', 9},
                {256, 9},
                {1, 9},
                {256, 10},
                {1, 10},
                {256, 11},
                {1, 11},
                {256, 12},
                {1, 12},
                {256, 13},
                {1, 13},
                {'b', 14}}),
         0, zipFileError},
        // 300 is free but not the code being defined; 258 then extends it.
        {"a string through a free code", codes({{'a', 9}, {300, 9}, {'b', 9}, {258, 9}}), 0,
         zipFileError},
        {"sizes after the data", codes({{'a', 9}}), 8, "Archive error: Not Supported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extractFailure(shrinkZip(c.stream, "ab", c.flags), "m"), c.message);
    }
}

// Found by fuzzing: a local header declaring 4 GiB of data decoded the zero padding past the
// archive's end until the declared size ran out, minutes and gigabytes later. Here the member
// sits last, in the end record's comment, so nothing but padding follows its two codes.
TEST(UnshrinkBadStreams, ADeclaredSizeBeyondTheArchiveEndsWithTheData) {
    BitWriter w;
    w.bits('a', 9);
    w.bits('b', 9);
    const std::string zip = shrinkZip(w.finish(), "ab");
    const std::size_t endAt = endRecordAt(zip);
    const std::size_t directoryAt = static_cast<unsigned char>(zip[endAt + 16]) |
                                    static_cast<unsigned char>(zip[endAt + 17]) << 8;
    std::string local = zip.substr(0, directoryAt);
    std::string directory = zip.substr(directoryAt, endAt - directoryAt);
    std::string end = zip.substr(endAt, 22);
    putLe32(local, 18, 0xFFFFFFF0); // the compressed size
    putLe32(directory, 42, static_cast<std::uint32_t>(directory.size() + end.size()));
    putLe32(end, 16, 0);
    putLe16(end, 20, static_cast<std::uint16_t>(local.size()));
    struct CappedTarget final : TzipTarget {
        std::size_t written = 0;
        void truncate() override { written = 0; }
        std::size_t write(const std::uint8_t*, std::size_t size) override {
            written += size;
            return written > (1u << 20) ? 0 : size;
        }
        void rewind() override {}
    } target;
    const std::string archive = directory + end + local;
    Tunzip unzip(archive);
    try {
        unzip.extractToStream("m", target);
        ADD_FAILURE() << "extracted";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Archive error: Read Error");
    }
    EXPECT_LT(target.written, 1024u);
}
