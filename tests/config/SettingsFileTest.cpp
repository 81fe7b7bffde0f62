// The settings file and the start-at-login entry, on real files in temporary folders.
#include "config/configuration.h"
#include "config/xmlConf.h"

#include "config/Base64.h"

#include "lib/runtime/Error.h"
#include "lib/utils/FileUtils.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vantle;
using testing::AllOf;
using testing::Contains;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::StartsWith;

namespace fs = std::filesystem;

namespace {

class SettingsFileTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    test::TempDir programs;
    // A program whose build time is known: link time 0 reads as 1970-01-01 08:00.
    std::string program = [this] {
        const std::string exe = programs.file("bin/vantle.exe");
        test::writeFile(exe, test::peImage(0));
        return exe;
    }();
    Tconfiguration c{program};

    void storeSettings(const std::string& text) { test::writeFile(c.configFile, text); }
    std::string settings() const { return test::readFile(c.configFile); }
    unsigned mode(const std::string& suffix = "") const {
        struct stat st {};
        ::stat((c.configFile + suffix).c_str(), &st);
        return st.st_mode & 07777;
    }
};

std::string crlf(const std::string& lines) {
    std::string out;
    for (char ch : lines) {
        if (ch == '\n')
            out += '\r';
        out += ch;
    }
    return out;
}

} // namespace

TEST_F(SettingsFileTest, WithoutAFileLoadSetsDefaultsAndCreatesNothing) {
    c.username = "stale";
    c.password = "stale";
    c.load();
    EXPECT_EQ(c.username, "");
    EXPECT_EQ(c.domain, "");
    EXPECT_EQ(c.password, "");
    EXPECT_EQ(c.pollInterval(), 30);
    EXPECT_FALSE(c.isComplete());
    EXPECT_FALSE(fs::exists(c.configFile));
}

TEST_F(SettingsFileTest, SaveThenLoadGivesBackTheAccountInTheFilesExactLayout) {
    c.username = "john smith";
    c.domain = "iinet.net.au";
    c.password = "secret";
    c.save();
    const std::string stored = encodeStoredPassword("secret");
    ASSERT_EQ(stored.size(), 96u);
    EXPECT_EQ(settings(), crlf("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                               "<conf>\n"
                               "  <account>\n"
                               "    <username>john smith</username>\n"
                               "    <domain>iinet.net.au</domain>\n"
                               "    <password>" +
                               stored +
                               "</password>\n"
                               "  </account>\n"
                               "</conf>\n"));
    EXPECT_EQ(mode(), 0600u);

    Tconfiguration other{program};
    other.load();
    EXPECT_EQ(other.username, "john smith");
    EXPECT_EQ(other.domain, "iinet.net.au");
    EXPECT_EQ(other.password, "secret");
    EXPECT_TRUE(other.isComplete());
    // The first load records the build in a section of its own, after the account.
    EXPECT_EQ(settings(), crlf("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                               "<conf>\n"
                               "  <account>\n"
                               "    <username>john smith</username>\n"
                               "    <domain>iinet.net.au</domain>\n"
                               "    <password>" +
                               stored +
                               "</password>\n"
                               "  </account>\n"
                               "  <vantle>\n"
                               "    <version>19700101.080000</version>\n"
                               "  </vantle>\n"
                               "</conf>\n"));
}

TEST_F(SettingsFileTest, PasswordsRoundTripWhateverTheirLength) {
    for (const std::string& pw : {std::string("p"), std::string(63, 'x'), std::string(64, 'y'),
                                  std::string(100, 'z'), std::string("ünïcödé &<>\"'")}) {
        SCOPED_TRACE(pw.size());
        c.username = "u";
        c.domain = "westnet.com.au";
        c.password = pw;
        c.save();
        c.password.clear();
        c.load();
        EXPECT_EQ(c.password, pw);
    }
    EXPECT_EQ(encodeStoredPassword("").size(), 96u);
    EXPECT_EQ(encodeStoredPassword(std::string(63, 'x')).size(), 96u);
}

TEST_F(SettingsFileTest, TheBuildVersionDecidesWhetherTheUpdateTimeIsReset) {
    c.save();
    const TDateTime recent = runtime::encodeDateTime({2026, 12, 10, 9, 0, 0, 0});
    c.setUpdateTime(recent);
    c.load(); // no version stored yet
    EXPECT_EQ(c.updateTime(), NeverUpdated);
    EXPECT_THAT(settings(), HasSubstr("<version>19700101.080000</version>"));

    c.setUpdateTime(recent);
    c.load(); // same build
    EXPECT_EQ(c.updateTime(), recent);

    test::writeFile(program, test::peImage(946684800)); // another build
    c.load();
    EXPECT_EQ(c.updateTime(), NeverUpdated);
    EXPECT_THAT(settings(), HasSubstr("<version>20000101.080000</version>"));
}

TEST_F(SettingsFileTest, AFileWithAnotherRootIsReplaced) {
    storeSettings("<?xml version=\"1.0\"?><settings><account><username>x</username>"
                  "<domain>iinet.net.au</domain></account></settings>");
    c.load();
    EXPECT_EQ(c.username, "");
    EXPECT_EQ(c.domain, "");
    EXPECT_EQ(settings(), crlf("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                               "<conf>\n"
                               "  <vantle>\n"
                               "    <version>19700101.080000</version>\n"
                               "  </vantle>\n"
                               "</conf>\n"));
}

TEST_F(SettingsFileTest, AFileInAnotherEncodingIsReadAndRewrittenInUtf8) {
    storeSettings("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<conf><account>"
                  "<username>J\xf6rg</username></account></conf>");
    c.load();
    EXPECT_EQ(c.username, "J\xc3\xb6rg");
    EXPECT_THAT(settings(), AllOf(StartsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"),
                                  HasSubstr("<username>J\xc3\xb6rg</username>")));
}

TEST_F(SettingsFileTest, EndpointTemplatesAreReadAndKeptBySave) {
    const std::string endpoint =
        "http://127.0.0.1:8080/x.cgi?action=login&amp;username=%USERNAME%&amp;password=%PASSWORD%";
    storeSettings("<conf><account><username>john</username><domain>iinet.net.au</domain></account>"
                  "<providers><iinet.net.au>" +
                  endpoint + "</iinet.net.au><westnet.com.au/></providers></conf>");
    c.load();
    EXPECT_EQ(c.providers, (std::map<std::string, std::string>{
                               {"iinet.net.au", "http://127.0.0.1:8080/x.cgi?action=login&username="
                                                "%USERNAME%&password=%PASSWORD%"}}));
    EXPECT_EQ(c.clone()->providers, c.providers);
    c.username = "jane";
    c.save();
    EXPECT_THAT(settings(), HasSubstr("<iinet.net.au>" + endpoint + "</iinet.net.au>"));
    c.providers.clear();
    c.load();
    EXPECT_EQ(c.providers.size(), 1u);
    EXPECT_EQ(c.username, "jane");
}

TEST_F(SettingsFileTest, NotificationsHaveASectionOfTheirOwn) {
    // Untouched defaults add nothing to a file that never had the section.
    c.username = "john";
    c.save();
    EXPECT_THAT(settings(), testing::Not(HasSubstr("notifications")));
    c.notifications = {false, {75, 95}};
    c.save();
    EXPECT_THAT(settings(), HasSubstr(crlf("<notifications>\n    <enabled>no</enabled>\n"
                                           "    <thresholds>75,95</thresholds>\n")));
    c.load();
    EXPECT_EQ(c.notifications, (TnotifySettings{false, {75, 95}}));
    EXPECT_EQ(c.username, "john");

    // What cannot be read keeps its default; the numbers come back in order.
    struct Case {
        const char* enabled;
        const char* thresholds;
        TnotifySettings expected;
    };
    const Case cases[] = {
        {"yes", " 90, 80 ,100", {true, {80, 90, 100}}}, {"no", "80,80", {false, {80}}},
        {"maybe", "80,,90", {true, {80, 90, 100}}},     {"", "0,50", {true, {80, 90, 100}}},
        {"yes", "1000", {true, {80, 90, 100}}},         {"yes", "85,", {true, {80, 90, 100}}},
        {"yes", "eighty", {true, {80, 90, 100}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.thresholds);
        storeSettings(std::string("<conf><notifications><enabled>") + k.enabled +
                      "</enabled><thresholds>" + k.thresholds +
                      "</thresholds></notifications></conf>");
        c.load();
        EXPECT_EQ(c.notifications, k.expected);
    }
}

TEST_F(SettingsFileTest, BadFilesNeverRaiseAndKeepWhatCouldBeRead) {
    const std::string account = "<conf><account><username>john</username>"
                                "<domain>iinet.net.au</domain><password>";
    struct Case {
        const char* label;
        std::string content;
        const char* username; // as read
        const char* logged;   // a piece of the diagnostic line
        bool fileKept;        // the file is left as it was
    };
    const Case cases[] = {
        {"not XML", "username=john\npassword=secret\n", "", "Cannot read the settings file", true},
        {"empty", "", "", "No document element found", true},
        {"truncated", account.substr(0, 40), "", "Cannot read the settings file", true},
        {"binary",
         std::string("\x7f"
                     "ELF\0\0\x01\xff",
                     8),
         "", "Cannot read the settings file", true},
        {"password of three characters", account + "abc</password></account></conf>", "john",
         "Premature end of base64 data", false},
        {"password under another key",
         account + Base64Encode(std::string(72, 'q'), 0) + "</password></account></conf>", "john",
         "cannot be deciphered", false},
        {"password with padding only", account + "====</password></account></conf>", "john",
         "Premature padding", false},
        // Written back indented, or edited, a file this deep would take more memory or stack
        // than there is: it is refused whole.
        {"nested 200,000 levels inside a key",
         "<conf><account><username>" + test::nestedElements(200000, "john") +
             "</username></account></conf>",
         "", "nests deeper than 64 levels", true},
        {"nested 200,000 levels beside the account",
         account + "</password></account>" + test::nestedElements(200000) + "</conf>", "",
         "nests deeper than 64", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.label);
        storeSettings(k.content);
        test::DebugCapture debug;
        c.load();
        EXPECT_EQ(c.username, k.username);
        EXPECT_EQ(c.domain, std::string(k.username).empty() ? "" : "iinet.net.au");
        EXPECT_EQ(c.password, "");
        EXPECT_EQ(c.pollInterval(), 30);
        EXPECT_THAT(debug.lines(), Contains(HasSubstr(k.logged)));
        if (k.fileKept)
            EXPECT_EQ(settings(), k.content);
        else
            EXPECT_THAT(settings(), HasSubstr("<username>john</username>"));
    }
}

TEST_F(SettingsFileTest, SavingOverAFileThatIsNotXmlKeepsItAside) {
    for (const std::string& bad :
         {std::string("garbage <<<"), "<conf>" + test::nestedElements(65) + "</conf>"}) {
        SCOPED_TRACE(bad.substr(0, 20));
        storeSettings(bad);
        c.username = "john";
        c.domain = "iinet.net.au";
        c.password = "pw";
        c.save();
        EXPECT_EQ(test::readFile(c.configFile + ".corrupt"), bad);
        // It may hold the enciphered password as the settings file did.
        EXPECT_EQ(mode(".corrupt"), 0600u);
        c.load();
        EXPECT_EQ(c.username, "john");
        EXPECT_EQ(c.password, "pw");
    }
}

TEST_F(SettingsFileTest, NestingUpTo64LevelsIsRead) {
    // The root and 63 levels below it: the deepest a file may go.
    storeSettings("<conf><account><username>john</username></account>" + test::nestedElements(63) +
                  "</conf>");
    test::DebugCapture debug;
    c.load();
    EXPECT_EQ(c.username, "john");
    EXPECT_THAT(debug.lines(), IsEmpty());
}

TEST_F(SettingsFileTest, SaveTightensTheFilesMode) {
    storeSettings("<conf/>");
    ::chmod(c.configFile.c_str(), 0644);
    c.save();
    EXPECT_EQ(mode(), 0600u);
}

TEST_F(SettingsFileTest, AFolderWhereTheFileBelongsIsReportedAndLeftAlone) {
    fs::create_directories(c.configFile + "/inside");
    test::DebugCapture debug;
    c.load();
    c.username = "john";
    c.save();
    const std::string unreadable = "Cannot read file \"" + c.configFile + "\". Is a directory";
    EXPECT_THAT(debug.lines(), testing::ElementsAre(unreadable, unreadable));
    EXPECT_TRUE(fs::is_directory(c.configFile + "/inside"));
    for (const auto& entry : fs::directory_iterator(c.settingsFolder))
        EXPECT_EQ(entry.path().filename(), "configuration.xml");
}

TEST_F(SettingsFileTest, AKilledSaveLeavesTheOldOrTheNewFile) {
    c.username = "first";
    c.domain = "iinet.net.au";
    c.password = "pw";
    c.save();
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) {
                c.username = i % 2 ? "first" : "second";
                c.save();
            }
        }
        ::usleep(static_cast<useconds_t>(3000 + round * 1700));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        Tconfiguration reader{program};
        test::DebugCapture debug;
        reader.load();
        EXPECT_THAT(debug.lines(), IsEmpty());
        EXPECT_TRUE(reader.username == "first" || reader.username == "second") << reader.username;
        EXPECT_EQ(reader.password, "pw");
    }
}

TEST_F(SettingsFileTest, WrapperMatchesSectionsAndKeysIgnoringCaseWhenWriting) {
    storeSettings("<conf><Account><UserName>a</UserName></Account></conf>");
    {
        TxmlConf conf(c.configFile);
        EXPECT_EQ(conf.ReadValue("account", "username", "none"), "none"); // reading is exact
        EXPECT_EQ(conf.ReadValue("Account", "UserName", "none"), "a");
        conf.WriteValue("account", "username", "b");
        EXPECT_EQ(conf.ReadValue("Account", "UserName", ""), "b");
    }
    EXPECT_EQ(settings(), crlf("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<conf>\n  <Account>\n"
                               "    <UserName>b</UserName>\n  </Account>\n</conf>\n"));
    {
        TxmlConf conf(c.configFile);
        conf.DocReadOnly = true;
        conf.WriteValue("account", "domain", "d");
    }
    EXPECT_THAT(settings(), testing::Not(HasSubstr("domain")));
}

class StartAtLoginTest : public SettingsFileTest {
protected:
    std::string entryPath() const { return home.configHome() + "autostart/vantle.desktop"; }
};

TEST_F(StartAtLoginTest, WritesReadsAndRemovesTheAutostartEntry) {
    EXPECT_FALSE(c.runAtLogin());
    c.setRunAtLogin(true);
    ASSERT_TRUE(fs::exists(entryPath()));
    const std::string entry = test::readFile(entryPath());
    EXPECT_THAT(entry, StartsWith("[Desktop Entry]\n"));
    EXPECT_THAT(entry, HasSubstr("\nType=Application\n"));
    EXPECT_THAT(entry, HasSubstr("\nName=vantle\n"));
    EXPECT_THAT(entry, HasSubstr("\nExec=" + program + "\n"));
    EXPECT_EQ(std::system(("desktop-file-validate " + entryPath()).c_str()), 0);
    EXPECT_TRUE(c.runAtLogin());

    // Already on: nothing is written again.
    const auto written = fs::last_write_time(entryPath());
    fs::last_write_time(entryPath(), written - std::chrono::hours(1));
    c.setRunAtLogin(true);
    EXPECT_EQ(fs::last_write_time(entryPath()), written - std::chrono::hours(1));

    c.setRunAtLogin(false);
    EXPECT_FALSE(fs::exists(entryPath()));
    EXPECT_FALSE(c.runAtLogin());
}

TEST_F(StartAtLoginTest, ComparesTheProgramIgnoringLetterCase) {
    std::string shouted = program;
    for (char& ch : shouted)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    fs::create_directories(home.configHome() + "autostart");
    test::writeFile(entryPath(),
                    "[Desktop Entry]\nType=Application\nName=vantle\nExec=" + shouted + "\n");
    EXPECT_TRUE(c.runAtLogin());
    test::writeFile(entryPath(), "[Desktop Entry]\nExec=" + program + "\nHidden=true\n");
    EXPECT_FALSE(c.runAtLogin()); // switched off by the desktop
    test::writeFile(entryPath(), "[Other Group]\nExec=" + program + "\n");
    EXPECT_FALSE(c.runAtLogin());
}

TEST_F(StartAtLoginTest, FailuresGoToTheDebuggerOutput) {
    test::writeFile(home.configHome() + "autostart", "a file where the folder belongs");
    test::DebugCapture debug;
    c.setRunAtLogin(true);
    EXPECT_THAT(debug.lines(), testing::ElementsAre(StartsWith("Failed to updates registry: ")));
    EXPECT_FALSE(c.runAtLogin());
}
