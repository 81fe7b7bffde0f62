// Web links and detached programs: which handler receives the address and how, the failure
// when there is none, and a started program that runs in a session of its own.
#include "platform/desktopLinks.h"

#include "platform/UrlHandlerStandIn.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

using namespace vantle;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

struct HandlerCase {
    const char* name;
    std::vector<std::string> present;       // executable stand-ins
    std::vector<std::string> notExecutable; // files of a handler's name that cannot run
    std::string used;
    bool viaGio;
};

} // namespace

TEST(DesktopLinks, OpenUrlHandsTheAddressToTheDesktopsHandler) {
    const HandlerCase cases[] = {
        {"xdg-open", {"xdg-open"}, {}, "xdg-open", false},
        {"gio only", {"gio"}, {}, "gio", true},
        {"both", {"xdg-open", "gio"}, {}, "xdg-open", false},
        {"xdg-open not executable", {"gio"}, {"xdg-open"}, "gio", true},
    };
    for (const HandlerCase& k : cases) {
        SCOPED_TRACE(k.name);
        test::UrlHandlerStandIn handlers;
        for (const std::string& name : k.present)
            handlers.add(name);
        for (const std::string& name : k.notExecutable)
            handlers.add(name, false);
        // Nothing in it may be read by a shell.
        const std::string pwned = handlers.out().path() + "pwned";
        const std::string url = "http://www.vantle.example/a b?x=1&y='$(touch " + pwned +
                                ")';`touch " + pwned + "` | \"q\"";

        platform::OpenUrl(url);

        const auto received = handlers.received(k.used);
        ASSERT_TRUE(received.has_value());
        if (k.viaGio)
            EXPECT_THAT(*received, ElementsAre("open", url));
        else
            EXPECT_THAT(*received, ElementsAre(url));
        EXPECT_FALSE(std::filesystem::exists(pwned));
    }
}

TEST(DesktopLinks, OpenUrlFailsClearlyWithoutAHandler) {
    test::UrlHandlerStandIn handlers;
    handlers.add("xdg-open", false);
    try {
        platform::OpenUrl("http://www.vantle.example/vantle");
        FAIL() << "no failure";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open http://www.vantle.example/vantle: neither "
                                         "xdg-open nor gio is installed to open web addresses");
    }
}

TEST(DesktopLinks, RunCommandStartsADetachedProcessAndReturnsAtOnce) {
    test::TempDir dir;
    const std::string pidFile = dir.file("pid");
    const auto before = std::chrono::steady_clock::now();
    platform::RunCommand(
        {"sh", "-c", "echo $$ > \"$0.tmp\" && mv \"$0.tmp\" \"$0\" && exec sleep 30", pidFile});
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));

    for (int i = 0; i < 500 && !std::filesystem::exists(pidFile); ++i)
        usleep(10'000);
    ASSERT_TRUE(std::filesystem::exists(pidFile));
    const pid_t pid = std::stoi(test::readFile(pidFile));
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0) << "still running";
    const pid_t session = getsid(pid);
    EXPECT_GT(session, 0);
    EXPECT_NE(session, getsid(0));
    // Not this process's child: nothing is left for it to wait for.
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    kill(pid, SIGTERM);
}

TEST(DesktopLinks, RunCommandReportsAProgramThatCannotStart) {
    test::TempDir dir;
    test::writeFile(dir.file("plain.txt"), "not a program");
    // Executable by its mode, refused by the exec itself: the started side reports it.
    test::writeFile(dir.file("garbage"), std::string("\x7f"
                                                     "ELF\x01 garbage",
                                                     13));
    chmod(dir.file("garbage").c_str(), 0755);
    for (const std::string& program :
         {std::string("vantle-no-such-program"), dir.file("plain.txt"), dir.file("garbage")}) {
        SCOPED_TRACE(program);
        try {
            platform::RunCommand({program, "x"});
            FAIL() << "no failure";
        } catch (const std::system_error& e) {
            EXPECT_THAT(e.what(), HasSubstr("Cannot start " + program));
        }
    }
}
