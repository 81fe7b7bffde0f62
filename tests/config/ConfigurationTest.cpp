#include "config/configuration.h"

#include "lib/runtime/Error.h"
#include "lib/utils/FileUtils.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using namespace vantle;
using testing::HasSubstr;

namespace fs = std::filesystem;

TEST(Configuration, ANewObjectHasItsFoldersAndNoAccount) {
    test::ScopedUserFolders home;
    Tconfiguration c;
    EXPECT_EQ(c.settingsFolder, home.configHome() + "vantle/");
    EXPECT_EQ(c.dataFolder, home.dataHome() + "vantle/");
    EXPECT_EQ(c.htmlFolder, home.dataHome() + "vantle/html/");
    for (const std::string& folder : {c.settingsFolder, c.dataFolder, c.htmlFolder})
        EXPECT_TRUE(fs::is_directory(folder)) << folder;

    EXPECT_EQ(c.configFile, c.settingsFolder + "configuration.xml");
    EXPECT_EQ(c.trayIconFile, c.dataFolder + "startbar.ico");
    EXPECT_EQ(c.trayHintFile, c.dataFolder + "startbar.txt");
    EXPECT_EQ(c.statusFile, c.dataFolder + "status.json");
    EXPECT_EQ(c.updatedFile, c.dataFolder + "updated");
    EXPECT_TRUE(fs::path(c.exePath).is_absolute());
    EXPECT_TRUE(IsSameFile(c.exePath, fs::read_symlink("/proc/self/exe").string()));

    EXPECT_EQ(c.username, "");
    EXPECT_EQ(c.domain, "");
    EXPECT_EQ(c.password, "");
    EXPECT_EQ(c.pollInterval(), 0);
    EXPECT_FALSE(c.isComplete());
}

TEST(Configuration, CompleteNeedsAllThreeAccountFields) {
    test::ScopedUserFolders home;
    Tconfiguration c;
    c.username = "john";
    c.domain = "iinet.net.au";
    EXPECT_FALSE(c.isComplete());
    c.password = "secret";
    EXPECT_TRUE(c.isComplete());
    c.username.clear();
    EXPECT_FALSE(c.isComplete());
}

TEST(Configuration, PollIntervalIsAtLeastTwentyMinutes) {
    test::ScopedUserFolders home;
    Tconfiguration c;
    const std::pair<int, int> cases[] = {{5, 20}, {19, 20}, {20, 20}, {45, 45}, {-3, 20}};
    for (auto [given, kept] : cases) {
        c.setPollInterval(given);
        EXPECT_EQ(c.pollInterval(), kept) << given;
    }
}

TEST(Configuration, CloneCopiesTheAccountAndIsANewObject) {
    test::ScopedUserFolders home;
    Tconfiguration c;
    c.username = "john";
    c.domain = "westnet.com.au";
    c.password = "pw";
    c.setPollInterval(30);
    fs::remove_all(c.htmlFolder); // the clone's construction makes it again
    const auto copy = c.clone();
    EXPECT_EQ(copy->username, "john");
    EXPECT_EQ(copy->domain, "westnet.com.au");
    EXPECT_EQ(copy->password, "pw");
    EXPECT_EQ(copy->pollInterval(), 30);
    EXPECT_EQ(copy->exePath, c.exePath);
    EXPECT_TRUE(fs::is_directory(c.htmlFolder));
    copy->username = "other";
    EXPECT_EQ(c.username, "john");
}

TEST(Configuration, UpdateTimeIsTheMarkerFilesTime) {
    test::ScopedUserFolders home;
    Tconfiguration c;
    EXPECT_EQ(c.updateTime(), NeverUpdated);
    c.setUpdateTime(36526.0);
    EXPECT_TRUE(fs::is_regular_file(c.updatedFile));
    EXPECT_EQ(fs::file_size(c.updatedFile), 0u);
    EXPECT_EQ(c.updateTime(), 36526.0);
    const TDateTime later = runtime::encodeDateTime({2026, 12, 10, 11, 30, 0, 0});
    c.setUpdateTime(later);
    EXPECT_EQ(c.updateTime(), later);
}

TEST(Configuration, UpdateTimeReadsAsNeverWhenTheMarkerCannotBeRead) {
    test::ScopedUserFolders home;
    Tconfiguration c;
    test::writeFile(c.updatedFile, "");
    fs::last_write_time(c.updatedFile, std::chrono::file_clock::from_sys(
                                           std::chrono::system_clock::from_time_t(0)));
    EXPECT_EQ(c.updateTime(), 0.0); // 1970 cannot be packed: a time of 0, not a failure
    fs::remove(c.updatedFile);
    EXPECT_EQ(c.updateTime(), NeverUpdated);
}

TEST(Configuration, SetUpdateTimePassesFailuresOn) {
    test::ScopedUserFolders home;
    Tconfiguration c;
    fs::create_directory(c.updatedFile); // a folder where the marker file belongs
    EXPECT_THROW(c.setUpdateTime(36526.0), Error);
}

TEST(Configuration, VersionTextIsTheProgramsBuildTime) {
    test::ScopedUserFolders home;
    test::TempDir dir;
    const std::string exe = dir.file("vantle.exe");
    test::writeFile(exe, test::peImage(0));
    EXPECT_EQ(Tconfiguration(exe).versionText(), "19700101.080000");

    const std::string elf = dir.file("vantle");
    test::writeFile(elf, "\x7f"
                         "ELF");
    SetFileModifiedTime(elf, runtime::encodeDateTime({2026, 12, 10, 9, 41, 7, 0}));
    EXPECT_EQ(Tconfiguration(elf).versionText(), "20261210.094106");

    try {
        Tconfiguration(dir.path() + "gone").versionText();
        FAIL() << "no failure";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("Cannot open file \"" + dir.path() + "gone\""));
    }
}

TEST(Configuration, AFolderThatCannotBeCreatedFailsConstruction) {
    test::TempDir dir;
    const std::string blocker = dir.file("data");
    test::writeFile(blocker, "not a folder");
    test::ScopedEnv config("XDG_CONFIG_HOME", dir.path() + "config");
    test::ScopedEnv data("XDG_DATA_HOME", blocker);
    try {
        Tconfiguration c;
        FAIL() << "no failure";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create folder \"" + blocker + "/vantle/\". Not a directory");
    }
    // The settings folder, created first, exists.
    EXPECT_TRUE(fs::is_directory(dir.path() + "config/vantle"));
}

// The folders hold the account's data: those the program makes, parents included, are the
// user's only; one that was there keeps its mode.
TEST(Configuration, TheFoldersItMakesAreTheUsersOnly) {
    test::TempDir dir;
    fs::create_directories(dir.path() + "config/vantle");
    fs::permissions(dir.path() + "config/vantle", fs::perms(0755));
    test::ScopedEnv config("XDG_CONFIG_HOME", dir.path() + "config");
    test::ScopedEnv data("XDG_DATA_HOME", dir.path() + "new/share");
    const Tconfiguration c;
    auto mode = [](const std::string& folder) { return fs::status(folder).permissions(); };
    for (const std::string& folder :
         {dir.path() + "new", dir.path() + "new/share", c.dataFolder, c.htmlFolder})
        EXPECT_EQ(mode(folder), fs::perms::owner_all) << folder;
    EXPECT_EQ(mode(c.settingsFolder), fs::perms(0755));
}

TEST(Configuration, ASnapshotCopiesEverythingAndTouchesNothing) {
    test::ScopedUserFolders home;
    Tconfiguration c;
    c.username = "john";
    c.domain = "iinet.net.au";
    c.password = "pw";
    c.providers["iinet.net.au"] = "http://127.0.0.1:1/x";
    c.setPollInterval(45);
    fs::remove_all(c.htmlFolder);
    const auto copy = c.snapshot();
    EXPECT_FALSE(fs::exists(c.htmlFolder)); // no construction
    EXPECT_EQ(copy->username, "john");
    EXPECT_EQ(copy->password, "pw");
    EXPECT_EQ(copy->providers, c.providers);
    EXPECT_EQ(copy->pollInterval(), 45);
    EXPECT_EQ(copy->updatedFile, c.updatedFile);
    c.username = "changed";
    EXPECT_EQ(copy->username, "john");
}
