// Replacing a file in one step: a failed replacement leaves the target as it was.
#include "platform/replacementFile.h"

#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

using namespace vantle;
using testing::StartsWith;

namespace fs = std::filesystem;

TEST(ReplacementFile, AFailedReplacementLeavesTheTargetAndNoTemporaryFile) {
    test::TempDir dir;
    const std::string target = dir.path() + "settings";
    fs::create_directories(target + "/inside");
    try {
        platform::replaceFileDurably(target, "new", 0600);
        FAIL() << "replaced";
    } catch (const std::system_error& e) {
        EXPECT_THAT(e.what(), StartsWith("cannot replace " + target));
    }
    EXPECT_TRUE(fs::is_directory(target + "/inside"));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_THAT(names, testing::ElementsAre("settings"));
}
