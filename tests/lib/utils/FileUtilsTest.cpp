#include "lib/utils/FileUtils.h"

#include "lib/runtime/Error.h"
#include "lib/utils/WindowsUtils.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <grp.h>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vantle;
using testing::HasSubstr;
using testing::StartsWith;
using testing::UnorderedElementsAre;

namespace {

// Runs with the current folder changed for the scope.
struct ScopedCurrentFolder {
    explicit ScopedCurrentFolder(const std::string& folder)
        : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~ScopedCurrentFolder() { std::filesystem::current_path(previous); }
    std::filesystem::path previous;
};

} // namespace

TEST(FileModifiedTime, ReadsFilesAndFoldersAndNamesAMissingPath) {
    test::TempDir dir;
    const std::string file = dir.file("a.txt");
    test::writeFile(file, "x");
    EXPECT_GT(FileModifiedTime(file), 45000.0);
    EXPECT_GT(FileModifiedTime(dir.path()), 45000.0);
    const std::string missing = dir.path() + "No Such/file.txt";
    EXPECT_EQ(test::raisedMessage([&] { FileModifiedTime(missing); }),
              "Failed to locate file: " + missing);
}

TEST(FileModifiedTime, WrittenTimesReadBackInTwoSecondSteps) {
    test::ScopedTimeZone perth("AWST-8");
    test::TempDir dir;
    const std::string file = dir.file("t");
    test::writeFile(file, "");
    SetFileModifiedTime(file, 36526.0);
    EXPECT_EQ(FileModifiedTime(file), 36526.0);
    // The system sees the local time as Perth's: 2000-01-01 00:00 there is 1999-12-31 16:00 UTC.
    const auto written = std::filesystem::last_write_time(file);
    EXPECT_EQ(std::chrono::system_clock::to_time_t(
                  std::chrono::time_point_cast<std::chrono::system_clock::duration>(
                      std::chrono::file_clock::to_sys(written))),
              946684800 - 8 * 3600);

    const TDateTime thirteen = runtime::encodeDateTime({2020, 6, 1, 10, 20, 13, 0});
    SetFileModifiedTime(file, thirteen);
    EXPECT_EQ(runtime::formatDateTime("hh:nn:ss", FileModifiedTime(file)), "10:20:12");
}

TEST(FileModifiedTime, TimesThePackedFormatCannotHoldReadAsZero) {
    test::TempDir dir;
    const std::string file = dir.file("old");
    test::writeFile(file, "");
    std::filesystem::last_write_time(
        file, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(86400)));
    EXPECT_EQ(FileModifiedTime(file), 0.0);
}

TEST(SetFileModifiedTime, FailsWithTheSystemsMessage) {
    test::TempDir dir;
    EXPECT_EQ(test::raisedMessage([&] { SetFileModifiedTime(dir.path() + "missing", 36526.0); }),
              "No such file or directory");
    EXPECT_EQ(test::raisedMessage([&] { SetFileModifiedTime(dir.path(), 36526.0); }),
              "Is a directory");
    const std::string file = dir.file("f");
    test::writeFile(file, "");
    EXPECT_THAT(test::raisedMessage([&] { SetFileModifiedTime(file, 1000.0); }),
                StartsWith("Invalid argument"));
}

TEST(ReadFileText, ReturnsTheBytesUnchanged) {
    test::TempDir dir;
    const std::string file = dir.file("bytes");
    const std::string bytes("a\r\nb\0c\xff\n", 8);
    test::writeFile(file, bytes);
    EXPECT_EQ(ReadFileText(file), bytes);
}

TEST(ReadFileText, FailuresNameTheFileAndTheReason) {
    test::TempDir dir;
    const std::string missing = dir.path() + "missing.txt";
    EXPECT_EQ(test::raisedMessage([&] { ReadFileText(missing); }),
              "Cannot open file \"" + missing + "\". No such file or directory");
    EXPECT_EQ(test::raisedMessage([&] { ReadFileText(dir.path()); }),
              "Cannot read file \"" + dir.path() + "\". Is a directory");
}

TEST(WriteFileText, CreatesTheFolderChainAndReplacesTheFile) {
    test::TempDir dir;
    const std::string file = dir.path() + "a/b/c/empty.txt";
    WriteFileText("", file);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
    EXPECT_EQ(test::readFile(file), "");
    WriteFileText("longer content", file);
    WriteFileText("short", file);
    EXPECT_EQ(test::readFile(file), "short");
}

// A file whose bytes are already the new ones keeps its inode and times; any other is replaced,
// and a link is replaced by a file rather than followed.
TEST(WriteFileText, LeavesAFileThatHoldsTheBytesAlone) {
    struct Case {
        const char* name;
        const char* stored;
        const char* written;
        bool link;
        bool kept;
    };
    const Case cases[] = {
        {"same bytes", "peak 45%", "peak 45%", false, true},
        {"same length, other bytes", "peak 45%", "peak 46%", false, false},
        {"longer", "peak", "peak 45%", false, false},
        {"empty to empty", "", "", false, true},
        {"a link to the same bytes", "peak 45%", "peak 45%", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string file = dir.file("out.txt");
        const std::string target = dir.file("target.txt");
        test::writeFile(c.link ? target : file, c.stored);
        if (c.link)
            std::filesystem::create_symlink(target, file);
        struct stat before {};
        ASSERT_EQ(::lstat(file.c_str(), &before), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a rewrite shows in the times
        WriteFileText(c.written, file);
        struct stat after {};
        ASSERT_EQ(::lstat(file.c_str(), &after), 0);
        EXPECT_EQ(test::readFile(file), c.written);
        const bool kept = before.st_ino == after.st_ino &&
                          before.st_mtim.tv_nsec == after.st_mtim.tv_nsec &&
                          before.st_ctim.tv_nsec == after.st_ctim.tv_nsec;
        EXPECT_EQ(kept, c.kept);
        if (c.link) {
            EXPECT_FALSE(std::filesystem::is_symlink(file));
            EXPECT_EQ(test::readFile(target), c.stored);
        }
    }
}

TEST(WriteFileText, FailsWhenTheFileCannotBeCreated) {
    test::TempDir dir;
    const std::string blocker = dir.file("blocker");
    test::writeFile(blocker, "a file where a folder should be");
    const std::string file = blocker + "/x.txt";
    EXPECT_THAT(test::raisedMessage([&] { WriteFileText("x", file); }),
                StartsWith("Cannot create file \"" + file + "\". "));
}

// Two writers of different contents and a reader, as two overlapping poll cycles and the tray:
// the reader always finds one whole content, and no temporary file is left behind.
TEST(WriteFileText, OverlappingWritersNeverLeaveAPartOrNothingForAReader) {
    test::TempDir dir;
    const std::string file = dir.file("hint.txt");
    const std::string longText(20000, 'a'), shortText(300, 'b');
    WriteFileText(shortText, file);
    std::atomic<bool> done{false};
    auto writer = [&](const std::string& text) {
        for (int i = 0; i < 300; ++i)
            WriteFileText(text, file);
    };
    int torn = 0, reads = 0;
    std::thread reader([&] {
        while (!done) {
            std::string seen;
            try {
                seen = ReadFileText(file);
            } catch (const Error&) {
                seen = "(missing)";
            }
            torn += seen != longText && seen != shortText;
            ++reads;
        }
    });
    std::thread first(writer, longText), second(writer, shortText);
    first.join();
    second.join();
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

// A folder closed to new files, holding a file its user may write: the file is rewritten in
// place. Checked as an ordinary user, for whom folder permissions hold.
TEST(WriteFileText, AFileInAFolderClosedToNewFilesIsRewrittenInPlace) {
    test::TempDir dir;
    const std::string folder = dir.path() + "closed/";
    const std::string file = folder + "out.txt";
    WriteFileText("old content", file);
    std::filesystem::permissions(file, std::filesystem::perms::all &
                                           ~(std::filesystem::perms::owner_exec |
                                             std::filesystem::perms::group_exec |
                                             std::filesystem::perms::others_exec));
    std::filesystem::permissions(
        folder, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                    std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                    std::filesystem::perms::others_exec);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    const bool root = ::geteuid() == 0;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            _exit(2);
        try {
            WriteFileText("new", file);
        } catch (const Error& e) {
            std::fprintf(stderr, "%s\n", e.what());
            _exit(3);
        }
        _exit(ReadFileText(file) == "new" ? 0 : 4);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(IsSameFile, IgnoresLetterCaseAndResolvesRelativeForms) {
    test::TempDir dir;
    const std::string file = dir.file("Sub/Prog.bin");
    EXPECT_TRUE(IsSameFile(file, dir.path() + "sub/PROG.BIN"));
    EXPECT_TRUE(IsSameFile(file, dir.path() + "Sub/./x/../Prog.bin"));
    {
        ScopedCurrentFolder here(dir.path());
        EXPECT_TRUE(IsSameFile("Sub/Prog.bin", file));
        EXPECT_TRUE(IsSameFile("./sub/prog.bin", file));
    }
    EXPECT_FALSE(IsSameFile(file, dir.path() + "Sub/Prog.bin2"));
    EXPECT_EQ(NormalFileName("/A/B/../C"), "/a/c");
}

TEST(ListFiles, ListsFilesAndFoldersByFullName) {
    test::TempDir dir;
    test::writeFile(dir.file("one.png"), "");
    std::filesystem::create_directory(dir.path() + "sub");
    EXPECT_THAT(ListFiles(dir.path()),
                UnorderedElementsAre(dir.path() + "one.png", dir.path() + "sub"));
    // The folder without its separator gives the same names.
    std::string bare = dir.path();
    bare.pop_back();
    EXPECT_THAT(ListFiles(bare), UnorderedElementsAre(dir.path() + "one.png", dir.path() + "sub"));
}

TEST(ListFiles, MasksSelectNamesIgnoringCase) {
    test::TempDir dir;
    for (const char* name : {"peak.png", "OFFPEAK.PNG", "status.json", "peak.png.bak"})
        test::writeFile(dir.file(name), "");
    EXPECT_THAT(ListFiles(dir.path() + "*.png"),
                UnorderedElementsAre(dir.path() + "peak.png", dir.path() + "OFFPEAK.PNG"));
    EXPECT_THAT(ListFiles(dir.path() + "*.*"), testing::SizeIs(4));
    EXPECT_THAT(ListFiles(dir.path() + "*.gif"), testing::IsEmpty());
    {
        ScopedCurrentFolder here(dir.path());
        EXPECT_THAT(ListFiles("status.*"), UnorderedElementsAre("status.json"));
    }
}

TEST(ListFiles, AMissingFolderIsAnError) {
    test::TempDir dir;
    EXPECT_THAT(test::raisedMessage([&] { ListFiles(dir.path() + "gone/*.png"); }),
                "No such file or directory: " + dir.path() + "gone/");
}

TEST(MatchesMask, FollowsTheFileNameWildcards) {
    struct Case {
        const char* name;
        const char* mask;
        bool matches;
    };
    const Case cases[] = {
        {"peak.png", "*.png", true},
        {"peak.PNG", "*.png", true},
        {"peak.png", "*.pn", false},
        {"peak.png", "p??k.*", true},
        {"peak.png", "p?k.*", false},
        {"a", "*", true},
        {"", "*", true},
        {"", "?", false},
        {"abcabc", "*bc", true},
        {"abcabd", "*bc", false},
        {"b1.txt", "[a-c]?.txt", true},
        {"d1.txt", "[a-c]?.txt", false},
        {"d1.txt", "[!a-c]?.txt", true},
        {"B1.txt", "[a-c]*", true},
        {"[x", "[x", true},
        {"a.b.c", "*.c", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " ~ " + c.mask);
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches);
    }
}

TEST(ProgramBuildTime, ReadsThePeLinkTimeAsUtcPlusEightHours) {
    test::ScopedTimeZone anywhere("EST+5");
    test::TempDir dir;
    const std::string exe = dir.file("prog.exe");
    test::writeFile(exe, test::peImage(0));
    EXPECT_DOUBLE_EQ(ProgramBuildTime(exe), 25569.0 + 1.0 / 3.0);
    test::writeFile(exe, test::peImage(946684800)); // 2000-01-01 00:00 UTC
    EXPECT_EQ(runtime::formatDateTime("yyyy-mm-dd hh:nn:ss", ProgramBuildTime(exe)),
              "2000-01-01 08:00:00");
}

TEST(ProgramBuildTime, OtherFilesGiveTheirModificationTime) {
    test::TempDir dir;
    const std::string text = dir.file("readme.txt");
    std::string truncated = test::peImage(0);
    truncated.resize(64 + 100); // the header runs past the end of the file
    std::string unsigned_ = test::peImage(0);
    unsigned_[64] = 'N';
    std::string noHeader = test::peImage(0);
    noHeader[60] = 0;
    for (const std::string& content :
         {std::string("plain text"), truncated, unsigned_, noHeader, std::string("MZ")}) {
        test::writeFile(text, content);
        SetFileModifiedTime(text, 40000.5);
        EXPECT_EQ(ProgramBuildTime(text), 40000.5);
    }
    EXPECT_EQ(test::raisedMessage([&] { ProgramBuildTime(dir.path() + "none.exe"); }),
              "Cannot open file \"" + dir.path() + "none.exe\". No such file or directory");
}

TEST(SpecialFolderPath, MapsTheApplicationDataFoldersToTheXdgFolders) {
    test::ScopedEnv config("XDG_CONFIG_HOME", "/cfg/home/");
    test::ScopedEnv data("XDG_DATA_HOME", "/data/home");
    EXPECT_EQ(SpecialFolderPath(TCSIDL::APPDATA, {TCSIDLFlag::dontUnexpand}), "/cfg/home/");
    EXPECT_EQ(SpecialFolderPath(TCSIDL::LOCAL_APPDATA, {TCSIDLFlag::dontUnexpand}), "/data/home/");
    {
        // Unset or relative values fall back to the folders below the home folder.
        test::ScopedEnv relative("XDG_CONFIG_HOME", "relative/path");
        test::ScopedEnv noData("XDG_DATA_HOME", std::nullopt);
        test::ScopedEnv home("HOME", "/home/someone");
        EXPECT_EQ(SpecialFolderPath(TCSIDL::APPDATA, {}), "/home/someone/.config/");
        EXPECT_EQ(SpecialFolderPath(TCSIDL::LOCAL_APPDATA, {}), "/home/someone/.local/share/");
    }
}

TEST(SpecialFolderPath, CreatesTheFolderWhenAsked) {
    test::TempDir dir;
    test::ScopedEnv config("XDG_CONFIG_HOME", dir.path() + "new/config");
    EXPECT_EQ(SpecialFolderPath(TCSIDL::APPDATA, {TCSIDLFlag::create}), dir.path() + "new/config/");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "new/config"));
}

TEST(SpecialFolderPath, OtherKindsFailClearly) {
    EXPECT_EQ(test::raisedMessage([] { SpecialFolderPath(TCSIDL::COOKIES, {}); }),
              "The special folder COOKIES has no equivalent on this system");
    EXPECT_EQ(test::raisedMessage([] { SpecialFolderPath(static_cast<TCSIDL>(57), {}); }),
              "unsupported csidl");
    EXPECT_EQ(test::raisedMessage([] { SpecialFolderPath(static_cast<TCSIDL>(-1), {}); }),
              "unsupported csidl");
}

TEST(SpecialFolderPath, KindsAndFlagsCarryTheirCsidlValues) {
    EXPECT_EQ(csidlIdentifier(TCSIDL::APPDATA, {TCSIDLFlag::dontUnexpand}), 0x201A);
    EXPECT_EQ(csidlIdentifier(TCSIDL::LOCAL_APPDATA, {TCSIDLFlag::dontUnexpand}), 0x201C);
    EXPECT_EQ(csidlIdentifier(TCSIDL::DESKTOP), 0);
    EXPECT_EQ(csidlIdentifier(TCSIDL::WINDOWS, {TCSIDLFlag::create, TCSIDLFlag::noAlias}), 0x9024);
    EXPECT_EQ(csidlName(TCSIDL::ADMINTOOLS), "ADMINTOOLS");
    EXPECT_EQ(csidlName(TCSIDL::WINDOWS), "WINDOWS");
}

namespace {
long residentBytes() {
    long pages = 0;
    long resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}
} // namespace

TEST(TrimWorkingSet, GivesFreedHeapPagesBackToTheSystem) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps its own pages";
#endif
    // Small blocks come from the heap, not from mappings of their own; the last one stays
    // allocated so that free() alone cannot shrink the heap from its top.
    std::vector<std::unique_ptr<char[]>> blocks;
    for (int i = 0; i < 50000; ++i) {
        blocks.push_back(std::make_unique<char[]>(4000));
        std::fill_n(blocks.back().get(), 4000, 'x');
    }
    auto keep = std::move(blocks.back());
    blocks.clear();
    const long before = residentBytes();
    TrimWorkingSet();
    const long after = residentBytes();
    EXPECT_LT(after, before - 100'000'000) << before << " -> " << after;
}
