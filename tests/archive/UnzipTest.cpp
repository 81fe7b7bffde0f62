// Tunzip: recognition, the directory, names, extraction to streams and files, and every failure
// text, on archives built in the tests.
#include "archive/unzip.h"

#include "ArchiveTestSupport.h"
#include "ImplodeEncoder.h"
#include "ShrinkEncoder.h"
#include "lib/runtime/Error.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace vantle;
using namespace vantle::test;
using testing::ElementsAre;

namespace {

// Records the size of every write.
class ChunkTarget final : public TzipTarget {
public:
    std::vector<std::size_t> chunks;
    void truncate() override { chunks.clear(); }
    std::size_t write(const std::uint8_t*, std::size_t size) override {
        chunks.push_back(size);
        return size;
    }
    void rewind() override {}
};

// Takes at most `room` bytes in all.
class FullTarget final : public TzipTarget {
public:
    explicit FullTarget(std::size_t room)
        : room_(room) {}
    std::string data;
    void truncate() override { data.clear(); }
    std::size_t write(const std::uint8_t* bytes, std::size_t size) override {
        const std::size_t n = std::min(size, room_ - data.size());
        data.append(reinterpret_cast<const char*>(bytes), n);
        return n;
    }
    void rewind() override {}

private:
    std::size_t room_;
};

const std::string kPage = sampleText(3000);

} // namespace

TEST(UnzipRecognition, RefusesWhatIsNoArchive) {
    const std::string good = buildZip({storedMember("a.txt", "alpha")});
    const std::size_t end = endRecordAt(good);
    std::string farOffset = good;
    putLe32(farOffset, end + 16, static_cast<std::uint32_t>(end + 1)); // directory offset
    std::string atEnd = good;
    putLe32(atEnd, end + 16, static_cast<std::uint32_t>(end));
    std::string longName = good;
    putLe16(longName, end - 46 - 5 + 28, 500); // the entry's name length passes the directory
    // An end record at 42 that overlaps the last field of a directory entry at 0: that entry
    // would read as whole if the record's position were not checked.
    std::string early(46, '\0');
    early.replace(0, 4, "PK\x01\x02", 4);  // entry signature; name, extra, comment lengths 0
    early.replace(42, 4, "PK\x05\x06", 4); // end record signature = the entry's header offset
    early += std::string(18, '\0');        // the record's other fields; directory offset 0
    early += std::string("PK\x03\x04", 4) + std::string(30, '\0'); // makes it an archive
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"shorter than a signature", "PK\x03"},
        {"only an end record", good.substr(end)},
        {"plain text", sampleText(1000)},
        {"a local header but no end record", good.substr(0, end)},
        {"end record before position 46", early},
        {"directory offset beyond the end record", farOffset},
        {"directory offset at the end record", atEnd},
        {"an entry longer than the directory", longName},
        {"an archive after 200,000 other bytes", std::string(200000, 'x') + good},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::raisedMessage([&] { Tunzip unzip(c.bytes); }), "Corrupt archive");
    }
}

TEST(UnzipRecognition, FindsAnArchiveAfterOtherData) {
    // Offsets count from the start of everything, prefix included.
    const std::string zip = buildZip(
        {storedMember("a.txt", "alpha"), deflatedMember("b.txt", kPage)}, std::string(100, '\x7f'));
    EXPECT_EQ(extract(zip, "a.txt"), "alpha");
    EXPECT_EQ(extract(zip, "b.txt"), kPage);
}

TEST(UnzipDirectory, FindsTheEndRecordBehindLongComments) {
    // 4080: the record starts 6 bytes before the last 4096; 5000: the second window; 65535:
    // the longest comment, several windows back.
    for (const std::size_t length :
         {std::size_t{0}, std::size_t{4080}, std::size_t{5000}, std::size_t{65535}}) {
        SCOPED_TRACE(length);
        const std::string zip =
            buildZip({deflatedMember("page.html", kPage)}, {}, std::string(length, 'c'));
        EXPECT_EQ(extract(zip, "page.html"), kPage);
    }
}

TEST(UnzipDirectory, ListsNamesInLowerCaseWithSlashes) {
    ZipMember cut = storedMember(std::string("abc\0def", 7), "cut");
    const std::string longName(300, 'N');
    const std::string zip = buildZip({
        storedMember("Web/Status.HTML", "page"),
        storedMember("Web\\Logo.PNG", "logo"), // some writers store backslashes
        storedMember("dup.txt", "first"),
        storedMember("DUP.txt", "second"),
        cut,
        storedMember(longName, "long"),
    });
    Tunzip unzip(zip);
    EXPECT_THAT(unzip.names(), ElementsAre("web/status.html", "web/logo.png", "dup.txt", "dup.txt",
                                           "abc", std::string(259, 'n')));
    TmemoryTarget target;
    unzip.extractToStream("WEB\\status.html", target);
    EXPECT_EQ(target.data, "page");
    unzip.extractToStream("web/LOGO.png", target);
    EXPECT_EQ(target.data, "logo");
    unzip.extractToStream("Dup.TXT", target);
    EXPECT_EQ(target.data, "first");
    unzip.extractToStream("abc", target);
    EXPECT_EQ(target.data, "cut");
    unzip.extractToStream(longName.substr(0, 259), target);
    EXPECT_EQ(target.data, "long");
}

TEST(UnzipExtract, StatusPageArchiveExtractsByteForByte) {
    const std::string png = sampleBinary(600);
    const std::string zip =
        buildZip({deflatedMember("status.html", kPage), storedMember("warning.png", png)});
    TempDir dir;
    writeFile(dir.path() + "status.html", std::string(10000, 'o')); // replaced, not overlaid
    Tunzip unzip(zip);
    unzip.extractAll(dir.path().substr(0, dir.path().size() - 1)); // no trailing separator
    EXPECT_EQ(readFile(dir.path() + "status.html"), kPage);
    EXPECT_EQ(readFile(dir.path() + "warning.png"), png);
}

TEST(UnzipExtract, ExtractAllMakesNoFoldersAndStaysInside) {
    TempDir dir;
    const std::string nestedZip = buildZip({storedMember("Web/Page.html", "page")});
    Tunzip nested(nestedZip);
    EXPECT_EQ(test::raisedMessage([&] { nested.extractAll(dir.path()); }),
              "Cannot create file \"" + dir.path() + "web/page.html\". No such file or directory");
    std::filesystem::create_directory(dir.path() + "web");
    nested.extractAll(dir.path());
    EXPECT_EQ(readFile(dir.path() + "web/page.html"), "page");

    const std::string inside = dir.path() + "inside/";
    std::filesystem::create_directory(inside);
    const std::string evilZip =
        buildZip({storedMember("ok.txt", "ok"), storedMember("..\\evil.txt", "x")});
    Tunzip evil(evilZip);
    EXPECT_EQ(test::raisedMessage([&] { evil.extractAll(inside); }),
              "Archive error: unsafe member name ../evil.txt");
    EXPECT_EQ(readFile(inside + "ok.txt"), "ok");
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "evil.txt"));
}

TEST(UnzipStored, CopiesInWindowSizedChunks) {
    const std::string content = sampleBinary(70000);
    const std::string zip = buildZip({storedMember("big.bin", content)});
    Tunzip unzip(zip);
    ChunkTarget target;
    unzip.extractToStream("big.bin", target);
    EXPECT_THAT(target.chunks, ElementsAre(32768, 32768, 4464));
    EXPECT_EQ(extract(zip, "big.bin"), content);
}

TEST(UnzipFailures, EveryFailingMemberRaisesItsText) {
    const std::string content = sampleText(2000);
    ZipMember badCrc = deflatedMember("m", content);
    badCrc.crc ^= 1;
    ZipMember method9 = packedMember("m", 9, rawDeflate(content), content);
    ZipMember encrypted = deflatedMember("m", content);
    encrypted.flags |= 1;
    ZipMember shrunkLater = packedMember("m", 1, "", content, 8); // shrink, sizes after data
    // Dynamic block whose code-length repeat (16) runs past the 258 lengths: a table builder's
    // own code.
    BitWriter repeat;
    repeat.bits(1, 1); // final block
    repeat.bits(2, 2); // dynamic codes
    repeat.bits(0, 5); // HLIT: 257 lengths
    repeat.bits(0, 5); // HDIST: 1 length
    repeat.bits(0, 4); // HCLEN: 4 code-length lengths (16, 17, 18, 0)
    repeat.bits(1, 3); // 16: length 1, so code 1 (after symbol 0)
    repeat.bits(0, 3); // 17: unused
    repeat.bits(0, 3); // 18: unused
    repeat.bits(1, 3); // 0: length 1, code 0
    repeat.code(0, 1); // symbol 0's length: 0
    for (int i = 0; i < 86; ++i) {
        repeat.code(1, 1); // 16: repeat the previous length...
        repeat.bits(0, 2); // ...3 times; the 86th passes the 258 lengths
    }
    const std::string repeatPast = buildZip({packedMember("m", 8, repeat.finish(), content)});

    std::string pastTheEnd = buildZip({storedMember("m", content.substr(0, 1000))});
    putLe32(pastTheEnd, 18, 2000); // the local header claims more than the archive holds
    // The first member makes the bytes an archive; the second's header has a wrong signature.
    std::string badSignature = buildZip({storedMember("1", "1"), deflatedMember("m", content)});
    badSignature.at(30 + 1 + 1 + 3) = '\x05';
    std::string farHeader = buildZip({deflatedMember("m", content)});
    putLe32(farHeader, endRecordAt(farHeader) - 46 - 1 + 42, // the entry's header offset
            static_cast<std::uint32_t>(farHeader.size() + 1));
    std::string cutHeader = buildZip({deflatedMember("m", content)});
    putLe32(cutHeader, endRecordAt(cutHeader) - 46 - 1 + 42,
            static_cast<std::uint32_t>(cutHeader.size() - 10));

    struct Case {
        const char* what;
        std::string zip;
        std::string member;
        std::string message;
        std::string left; // what the target holds afterwards
    };
    const Case cases[] = {
        {"wrong CRC-32", buildZip({badCrc}), "m", "Archive error: CRC Error", content},
        {"method 9", buildZip({method9}), "m", "Archive error: Not Supported", ""},
        {"encrypted", buildZip({encrypted}), "m", "Archive error: Zip is Encrypted", ""},
        {"shrunk with sizes after the data", buildZip({shrunkLater}), "m",
         "Archive error: Not Supported", ""},
        {"stored data past the archive's end", pastTheEnd, "m", "Archive error: Read Error", ""},
        {"a table builder's code", repeatPast, "m", "Archive error: Zip File Error", ""},
        {"bad local header signature", badSignature, "m", "Archive error: Zip File Error", ""},
        {"local header beyond the archive", farHeader, "m", "Archive error: Read Error", ""},
        {"local header cut by the archive's end", cutHeader, "m", "Archive error: Zip File Error",
         ""},
        {"no such member", buildZip({badCrc}), "Missing.txt", "Missing.txt not found in archive",
         "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Tunzip unzip(c.zip);
        TmemoryTarget target;
        target.data = "old";
        EXPECT_EQ(test::raisedMessage([&] { unzip.extractToStream(c.member, target); }), c.message);
        EXPECT_EQ(target.data, c.left);
    }
}

TEST(UnzipFailures, ShortWriteIsAWriteError) {
    const std::string content = sampleText(100000);
    for (const ZipMember& m : {storedMember("m", content), deflatedMember("m", content)}) {
        SCOPED_TRACE(m.method);
        const std::string zip = buildZip({m});
        Tunzip unzip(zip);
        FullTarget target(1000);
        EXPECT_EQ(test::raisedMessage([&] { unzip.extractToStream("m", target); }),
                  "Archive error: Write Error");
        EXPECT_EQ(target.data, content.substr(0, 1000));
    }
}

TEST(UnzipFailures, ASecondExtractionWhileOneRunsIsInUse) {
    const std::string zip =
        buildZip({deflatedMember("a", sampleText(100000)), storedMember("b", "bravo")});
    Tunzip unzip(zip);
    // A target that starts another extraction on the same reader from inside a write.
    class Reentering final : public TzipTarget {
    public:
        explicit Reentering(Tunzip& reader)
            : reader_(reader) {}
        std::string inner;
        void truncate() override {}
        std::size_t write(const std::uint8_t*, std::size_t size) override {
            if (inner.empty())
                inner = test::raisedMessage([&] {
                    TmemoryTarget other;
                    reader_.extractToStream("b", other);
                });
            return size;
        }
        void rewind() override {}

    private:
        Tunzip& reader_;
    } target(unzip);
    unzip.extractToStream("a", target);
    EXPECT_EQ(target.inner, "Archive error: In Use");
    EXPECT_EQ(extract(zip, "b"), "bravo"); // the flag was cleared
    TmemoryTarget after;
    unzip.extractToStream("b", after);
    EXPECT_EQ(after.data, "bravo");
}

TEST(UnzipDescriptors, CrcAfterTheDataWithAndWithoutSignature) {
    const std::string content = sampleText(50000);
    auto withDescriptor = [&](ZipMember m, bool signature) {
        m.flags |= 8;
        m.descriptorSignature = signature;
        return m;
    };
    ZipMember wrongCrc = withDescriptor(deflatedMember("m", content), true);
    wrongCrc.crc ^= 0x80000000;
    struct Case {
        const char* what;
        ZipMember member;
        std::string message;
    };
    const Case cases[] = {
        {"deflated, with signature", withDescriptor(deflatedMember("m", content), true), ""},
        {"deflated, without signature", withDescriptor(deflatedMember("m", content), false), ""},
        {"deflated, wrong CRC-32", wrongCrc, "Archive error: CRC Error"},
        // Without sizes, stored data and imploded output have no end but the input's.
        {"stored", withDescriptor(storedMember("m", content), true), "Archive error: Read Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string zip = buildZip({c.member, storedMember("next", "n")});
        EXPECT_EQ(extractFailure(zip, "m"), c.message);
        if (c.message.empty()) {
            EXPECT_EQ(extract(zip, "m"), content);
            EXPECT_EQ(extract(zip, "next"), "n");
        }
    }
}

TEST(UnzipErrorText, NamesEveryCode) {
    struct Case {
        int code;
        const char* text;
    };
    const Case cases[] = {
        {0, "No Error"},
        {-1, "CRC Error"},
        {-2, "Write Error"},
        {-3, "Read Error"},
        {-4, "Zip File Error"},
        {-5, "User Abort"},
        {-6, "Not Supported"},
        {-7, "Zip is Encrypted"},
        {-8, "In Use"},
        {-9, "Internal Error"},
        {-10, "No More Items"},
        {-11, "File Error"},
        {-12, "Not a Zip File"},
        {-13, "Header Too Large"},
        {-14, "Zip File Open Error"},
        {-100, "Serious Error"},
        {-500, "Missing Parameter"},
        {-42, "Unknown Error (-42)"},
        {1, "Unknown Error (1)"},
        {2147483647, "Unknown Error (2147483647)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(Tunzip::errorText(c.code), c.text);
    }
}

TEST(UnzipHostileInput, DamagedArchivesFailWithTheirTextOnly) {
    // Every method, then bytes changed or the archive cut at random: each member either
    // extracts or raises Error (the sanitizer build checks the memory accesses).
    const std::string content = sampleText(3000) + sampleBinary(1000);
    const ImplodeOptions big{true, true};
    const ImplodeOptions small{false, false};
    ZipMember flagged = deflatedMember("descriptor", content);
    flagged.flags |= 8;
    const std::string zip = buildZip({
        storedMember("stored", content),
        packedMember("shrunk", 1, shrink(content, {{1500}, true}).data, content),
        packedMember("imploded8", 6, implode(content, big), content, big.flags()),
        packedMember("imploded4", 6, implode(content, small), content, small.flags()),
        deflatedMember("dynamic", content),
        packedMember("fixed", 8, rawDeflate(content, 6, 4), content),
        flagged,
    });
    std::uint32_t random = 12345;
    auto next = [&] {
        random ^= random << 13;
        random ^= random >> 17;
        random ^= random << 5;
        return random;
    };
    int extracted = 0;
    int refused = 0;
    for (int round = 0; round < 600; ++round) {
        std::string damaged = zip;
        if (round % 10 == 9) {
            damaged.resize(next() % damaged.size());
        } else {
            for (std::uint32_t n = 1 + next() % 4; n > 0; --n)
                damaged[next() % damaged.size()] = static_cast<char>(next());
        }
        try {
            Tunzip unzip(damaged);
            for (const std::string& name : unzip.names()) {
                TmemoryTarget target;
                try {
                    unzip.extractToStream(name, target);
                    ++extracted;
                } catch (const Error&) {
                    ++refused;
                }
            }
        } catch (const Error& e) {
            ASSERT_STREQ(e.what(), "Corrupt archive");
        }
    }
    EXPECT_GT(extracted, 0);
    EXPECT_GT(refused, 0);
}
