// vantlectl run as a real process, in a profile of temporary folders.
#include "config/configuration.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

using namespace vantle;
using testing::HasSubstr;

namespace {

struct Outcome {
    int status = -1;
    std::string output; // standard output and error together
};

Outcome vantlectl(const std::string& arguments) {
    Outcome run;
    const std::string command = std::string(VANTLECTL) + " " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

TEST(VantlectlUsage, PrintsTheRecordsOfAGivenDocument) {
    test::ScopedUserFolders home;
    const Outcome run = vantlectl("usage " VANTLE_FIXTURES "/usage/sample.xml");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("plan: Home 3\n"));
    EXPECT_THAT(run.output, HasSubstr("offpeak: 02:00 to 08:00\n"));
    EXPECT_THAT(run.output, HasSubstr("days: 18 so far, 12 remaining, anniversary 14\n"));
    EXPECT_THAT(run.output, testing::ContainsRegex("current: (off)?peak\n"));
    EXPECT_THAT(run.output, HasSubstr("traffic: peak \"Peak\": 11,250 MB used of 25,000 MB "
                                      "(45.00%), shaped no, speed 256"));
    EXPECT_THAT(run.output, HasSubstr("traffic: freezone \"Freezone\": 1,235 MB used, no quota"));
    // Constructing the configuration made the profile's folders.
    EXPECT_TRUE(std::filesystem::is_directory(home.configHome() + "vantle"));
    EXPECT_TRUE(std::filesystem::is_directory(home.dataHome() + "vantle/html"));
}

TEST(VantlectlUsage, ReadsTheStoredDocumentOfTheProfile) {
    test::ScopedUserFolders home;
    Outcome run = vantlectl("usage");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("no usage document is stored yet"));

    test::writeFile(home.dataHome() + "vantle/iinet-current.xml",
                    test::readFile(VANTLE_FIXTURES "/usage/sample.xml"));
    run = vantlectl("usage");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("traffic: offpeak \"Off Peak\""));
}

TEST(VantlectlUsage, FailuresSayWhatWentWrong) {
    test::ScopedUserFolders home;
    test::TempDir dir;
    const std::string broken = dir.file("broken.xml");
    test::writeFile(broken, "<ii_feed><volume_usage>");
    struct Case {
        std::string arguments;
        std::string message;
    };
    const Case cases[] = {
        {"usage " + broken, "vantlectl usage: Cannot read the usage document \"" + broken + "\""},
        {"usage " + dir.path() + "none.xml", "no such file: " + dir.path() + "none.xml"},
        {"usage a b", "takes at most one FILE"},
        {"frobnicate", "unknown command \"frobnicate\""},
        {"", "Usage: vantlectl COMMAND"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Outcome run = vantlectl(c.arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.output, HasSubstr(c.message));
    }
}

TEST(VantlectlConfig, PrintsTheAccountButNeverThePassword) {
    test::ScopedUserFolders home;
    test::TempDir programs;
    const std::string program = programs.file("bin/vantle");
    test::writeFile(program, "");
    Tconfiguration c{program};

    Outcome run = vantlectl("config");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("there is no settings file (" + c.configFile + ")"));

    c.username = "john smith";
    c.domain = "westnet.com.au";
    c.password = "hunter2";
    c.save();
    c.setRunAtLogin(true);
    const std::string before = test::readFile(c.configFile);
    run = vantlectl("config");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "settings: " + c.configFile +
                              "\nusername: john smith\ndomain: westnet.com.au\npassword: stored\n"
                              "start at login: yes (" +
                              program + ")\n");
    EXPECT_EQ(test::readFile(c.configFile), before); // reading changed nothing

    c.password.clear();
    c.save();
    c.setRunAtLogin(false);
    run = vantlectl("config");
    EXPECT_THAT(run.output, HasSubstr("password: not stored\nstart at login: no\n"));

    test::writeFile(c.configFile, "<conf><account>");
    run = vantlectl("config");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("vantlectl config: Cannot read the settings file \"" +
                                      c.configFile + "\""));
}
