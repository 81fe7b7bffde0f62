// The status page the program carries, and its installation into the html folder.
#include "config/configuration.h"
#include "config/statusPageArchive.h"
#include "lib/utils/FileUtils.h"

#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>

using namespace vantle;
using testing::HasSubstr;
using testing::UnorderedElementsAre;

namespace fs = std::filesystem;

namespace {

std::string resource(const char* name) {
    return test::readFile(std::string(VANTLE_RESOURCES "/") + name);
}

std::string run(const std::string& command) {
    return test::runCommand(command).output;
}

std::vector<std::string> names(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        found.push_back(entry.path().filename().string());
    return found;
}

} // namespace

TEST(StatusPageArchive, IsAZipThatAnIndependentReaderAccepts) {
    test::TempDir dir;
    const std::string zip = dir.file("page.zip");
    test::writeFile(zip, statusPageArchive());
    // Info-ZIP's own check, and its verbose listing of each member's origin and method.
    EXPECT_THAT(run("unzip -t " + zip), HasSubstr("No errors detected"));
    const std::string listing = run("unzip -Z -v " + zip);
    EXPECT_THAT(listing, testing::ContainsRegex("status.html(.|\n)*compression method: +deflated"));
    EXPECT_THAT(listing, testing::ContainsRegex("warning.png(.|\n)*compression method: +none"));
    std::size_t dosMembers = 0;
    const std::string origin = "operating system of origin:      MS-DOS";
    for (std::size_t at = listing.find(origin); at != std::string::npos;
         at = listing.find(origin, at + 1))
        ++dosMembers;
    EXPECT_EQ(dosMembers, 2u) << listing;
    EXPECT_EQ(run("unzip -p " + zip + " status.html"), resource("status.html"));
    EXPECT_EQ(run("unzip -p " + zip + " warning.png"), resource("warning.png"));
}

TEST(StatusPageArchive, EveryConstructionInstallsThePage) {
    test::ScopedUserFolders home;
    {
        Tconfiguration c;
        EXPECT_THAT(names(c.htmlFolder), UnorderedElementsAre("status.html", "warning.png"));
        EXPECT_EQ(test::readFile(c.htmlFolder + "status.html"), resource("status.html"));
        EXPECT_EQ(test::readFile(c.htmlFolder + "warning.png"), resource("warning.png"));
        test::writeFile(c.htmlFolder + "status.html", "an older page, longer than nothing");
    }
    Tconfiguration again;
    EXPECT_EQ(test::readFile(again.htmlFolder + "status.html"), resource("status.html"));
}

// A start never tears the page: one in place is left alone, a damaged one is replaced by a
// whole new file (a reader holding the old one keeps it whole too).
TEST(StatusPageArchive, OnlyAPageThatDiffersIsWrittenAndThenInOneStep) {
    test::ScopedUserFolders home;
    const std::string page = Tconfiguration().htmlFolder + "status.html";
    const TDateTime old = runtime::encodeDateTime({2020, 1, 1, 0, 0, 0, 0});
    SetFileModifiedTime(page, old);
    Tconfiguration{};
    EXPECT_EQ(FileModifiedTime(page), old);

    const std::string damaged = resource("status.html").substr(0, 100);
    test::writeFile(page, damaged);
    const std::string held = home.dataHome() + "held";
    fs::create_hard_link(page, held);
    const Tconfiguration c;
    EXPECT_EQ(c.installProblem(), "");
    EXPECT_EQ(test::readFile(page), resource("status.html"));
    EXPECT_EQ(test::readFile(held), damaged);
}

TEST(StatusPageArchive, ResetForgetsTheAccountsFilesButKeepsFolders) {
    test::ScopedUserFolders home;
    Tconfiguration c;
    c.username = "john";
    c.password = "pw";
    c.domain = "iinet.net.au";
    c.save();
    for (const char* name : {"peak.png", "offpeak.png", "status.html"})
        test::writeFile(c.htmlFolder + name, "old");
    for (const char* name :
         {"iinet-current.xml", "iinet-lastgood.xml", "status.json", "startbar.ico", "startbar.txt"})
        test::writeFile(c.dataFolder + name, "old");
    c.setUpdateTime(runtime::encodeDateTime({2026, 12, 10, 9, 0, 0, 0}));
    fs::create_directory(c.dataFolder + "crashdumps");
    fs::create_directory(c.dataFolder + "empty");
    test::writeFile(c.dataFolder + "crashdumps/2026-12-10 090000.txt", "report");

    c.resetAccountData();
    EXPECT_THAT(names(c.htmlFolder), UnorderedElementsAre("status.html", "warning.png"));
    EXPECT_EQ(test::readFile(c.htmlFolder + "status.html"), resource("status.html"));
    EXPECT_THAT(names(c.dataFolder),
                UnorderedElementsAre("html", "crashdumps", "empty", "updated"));
    EXPECT_EQ(c.updateTime(), NeverUpdated);
    EXPECT_EQ(test::readFile(c.dataFolder + "crashdumps/2026-12-10 090000.txt"), "report");
    EXPECT_TRUE(fs::exists(c.configFile)); // the settings are not account data
}
