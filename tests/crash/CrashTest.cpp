// The crash-reporting engine: failures of every kind in real child processes, the reports they
// leave, and the engine's own handling when no handler takes a failure.
#include "crash/MadExceptHelper.h"
#include "crash/crashEngine.h"
#include "lib/runtime/Error.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vantle;
using testing::HasSubstr;
using testing::Not;

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Where the build carries debugging data, a frame names its source line after the function.
const std::string SourceLine = VANTLE_DEBUG_INFO ? " at " : "";

struct Outcome {
    int exitStatus = -1; // -1 when ended by a signal
    int signal = 0;
    std::string output; // standard output and error together
};

Outcome run(std::vector<std::string> arguments) {
    Outcome outcome;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return outcome;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        outcome.output.append(buffer, static_cast<std::size_t>(n));
    close(pipeEnds[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child)
        return outcome;
    if (WIFEXITED(status))
        outcome.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        outcome.signal = WTERMSIG(status);
    return outcome;
}

Outcome vantlectl(const std::string& command, const std::string& argument = "") {
    std::vector<std::string> arguments{VANTLECTL, command};
    if (!argument.empty())
        arguments.push_back(argument);
    return run(arguments);
}

std::vector<std::string> filesIn(const std::string& folder, const std::string& extension) {
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == extension)
            files.push_back(it->path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string crashFolderOf(const test::ScopedUserFolders& home) {
    return home.dataHome() + "vantle/crashdumps/";
}

// Each signal's failure in a function of its own, which the report must name.
[[gnu::noinline]] void failWithRead() {
    volatile std::uintptr_t address = 0x10;
    const int value = *reinterpret_cast<volatile int*>(address);
    (void)value;
}
volatile bool deeper = true;
[[gnu::noinline]] int failWithStackOverflow(int depth) {
    volatile char frame[1024] = {};
    frame[0] = static_cast<char>(depth);
    return deeper ? failWithStackOverflow(depth + 1) + frame[0] : 0;
}
void overflowAGuardedThread() {
    std::thread worker([] { crash::guardThread([] { failWithStackOverflow(0); }); });
    worker.join();
}
[[gnu::noinline]] void failWithBusError() {
    std::raise(SIGBUS);
    // Keeps an optimised build from turning the call into a jump: this function keeps its frame.
    asm volatile("");
}
[[gnu::noinline]] void failWithDivision() {
    // Both read at run time: the compiler turns a division of a constant 1 into comparisons.
    volatile int one = 1;
    volatile int zero = 0;
    volatile int value = one / zero;
    (void)value;
}
[[gnu::noinline]] void failWithTrap() {
    __builtin_trap();
}
[[gnu::noinline]] void failWithAbort() {
    std::abort();
}

[[gnu::noinline]] void throwFirst() {
    throw Error("first");
}
[[gnu::noinline]] void throwSecond() {
    throw Error("second");
}

template <class T> std::exception_ptr thrown(T value) {
    try {
        throw value;
    } catch (...) {
        return std::current_exception();
    }
}

class CrashEngine : public testing::Test {
protected:
    CrashEngine() { crash::install(); }
    // The crash layer keeps its dump in the data folder from its first use.
    test::ScopedUserFolders home;
    void TearDown() override {
        TmadExcept::instance().installHandler(nullptr);
        TmadExcept::instance().setMessageBox(nullptr);
    }

    test::TempDir dir;
};

} // namespace

TEST(VantlectlCrashTest, AFailureLeavingAThreadIsReportedAtOnce) {
    struct Case {
        const char* kind;
        int exitStatus;
        int signal;
    };
    // throw: a guarded thread, and the tool goes on; terminate: an unguarded one, which ends it.
    const Case cases[] = {{"throw", 1, 0}, {"terminate", -1, SIGABRT}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const test::ScopedUserFolders home;
        const Outcome failed = vantlectl("crash-test", c.kind);
        EXPECT_EQ(failed.exitStatus, c.exitStatus) << failed.output;
        EXPECT_EQ(failed.signal, c.signal);

        const std::vector<std::string> reports = filesIn(crashFolderOf(home), ".txt");
        ASSERT_EQ(reports.size(), 1u) << failed.output;
        EXPECT_THAT(failed.output, HasSubstr("saving crash report: " + reports[0] + "\n"));
        const std::string report = test::readFile(reports[0]);
        EXPECT_THAT(report, HasSubstr("failure class     : vantle::Error\n"));
        EXPECT_THAT(report,
                    HasSubstr("failure message   : crash test: a failure thrown on purpose\n"));
        EXPECT_THAT(report, HasSubstr("\"crash-test\", where the failure was thrown:\n  #0 "));
        EXPECT_THAT(report, testing::ContainsRegex("#0 .*crashTestThrow\\(\\)" + SourceLine));
        EXPECT_THAT(report, HasSubstr("  \"vantlectl\"\n"));
        EXPECT_THAT(report, HasSubstr("  \"crash-test\"  (failing)\n"));

        // A later start finds nothing more to report.
        const Outcome next = vantlectl("config");
        EXPECT_THAT(next.output, Not(HasSubstr("saving crash report")));
        EXPECT_EQ(filesIn(crashFolderOf(home), ".txt"), reports);
        EXPECT_TRUE(filesIn(crashFolderOf(home) + "pending", ".dump").empty());
    }
}

TEST(VantlectlCrashTest, ASegmentationFaultIsReportedAtTheNextStart) {
    if (!crash::catchesMemoryFaults)
        GTEST_SKIP() << "the address sanitizer reports memory faults itself";
    const test::ScopedUserFolders home;
    const Outcome failed = vantlectl("crash-test", "segv");
    EXPECT_EQ(failed.signal, SIGSEGV) << failed.output;
    EXPECT_TRUE(filesIn(crashFolderOf(home), ".txt").empty());
    const std::vector<std::string> dumps = filesIn(crashFolderOf(home) + "pending", ".dump");
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_THAT(failed.output, HasSubstr("vantlectl: fatal signal; the call stack is kept in \"" +
                                         dumps[0] + "\""));

    const Outcome next = vantlectl("config");
    const std::vector<std::string> reports = filesIn(crashFolderOf(home), ".txt");
    ASSERT_EQ(reports.size(), 1u) << next.output;
    EXPECT_THAT(next.output, HasSubstr("saving crash report: " + reports[0] + "\n"));
    const std::string report = test::readFile(reports[0]);
    EXPECT_THAT(report, HasSubstr("failure class     : SIGSEGV\n"));
    EXPECT_THAT(report, testing::ContainsRegex("failure message   : Access violation at address "
                                               "0x[0-9a-f]+ in module 'vantlectl' \\(SIGSEGV\\)\\. "
                                               "Write of address 0x0\n"));
    EXPECT_THAT(report, HasSubstr("\"vantlectl\", where the signal arrived:\n"));
    EXPECT_THAT(report, testing::ContainsRegex("#0 .*crashTestAccessViolation\\(\\)" + SourceLine));
    EXPECT_THAT(report, HasSubstr("  \"vantlectl\"  (failing)\n"));
    EXPECT_FALSE(fs::exists(dumps[0]));

    EXPECT_THAT(vantlectl("config").output, Not(HasSubstr("saving crash report")));
    EXPECT_EQ(filesIn(crashFolderOf(home), ".txt"), reports);
}

TEST_F(CrashEngine, EachFatalSignalEndsTheProcessAndIsReportedAtTheNextStart) {
    struct Case {
        const char* name;
        int signal;
        void (*fail)();
        const char* function; // a regular expression
        const char* message;  // a regular expression
    };
    const Case cases[] = {
        {"read of a bad address", SIGSEGV, failWithRead, "failWithRead\\(\\)",
         "Access violation at address 0x[0-9a-f]+ in module 'crash_tests' \\(SIGSEGV\\)\\. "
         "Read of address 0x10"},
        // On a guarded worker, whose own alternate signal stack takes the handler.
        {"stack overflow", SIGSEGV, overflowAGuardedThread, "failWithStackOverflow\\(int\\)",
         "Access violation at address 0x[0-9a-f]+ in module 'crash_tests' \\(SIGSEGV\\)\\. "
         "Write of address 0x[0-9a-f]+"},
        {"bus error sent", SIGBUS, failWithBusError, "failWithBusError\\(\\)",
         "Access violation \\(SIGBUS sent by process [0-9]+\\)"},
        {"division by zero", SIGFPE, failWithDivision, "failWithDivision\\(\\)",
         "Division by zero at address 0x[0-9a-f]+ in module 'crash_tests' \\(SIGFPE\\)"},
        {"illegal instruction", SIGILL, failWithTrap, "failWithTrap\\(\\)",
         "Illegal instruction at address 0x[0-9a-f]+ in module 'crash_tests' \\(SIGILL\\)"},
        {"abort", SIGABRT, failWithAbort, "failWithAbort\\(\\)",
         "Abnormal program termination \\(SIGABRT\\)"},
    };
    TmadExcept& mad = TmadExcept::instance();
    std::vector<std::string> shown;
    mad.setMessageBox([&shown](const std::string& message) { shown.push_back(message); });
    mad.installInteractiveHandler();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!crash::catchesMemoryFaults && c.signal != SIGABRT)
            continue; // the address sanitizer's to report
        const std::string folder = dir.path() + c.name + "/";
        const pid_t child = fork();
        if (child == 0) {
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 2);
            mad.setCrashFolder(folder);
            c.fail();
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
        EXPECT_TRUE(filesIn(folder, ".txt").empty());

        // This process runs the same program: it is the next start.
        mad.setCrashFolder(folder);
        const std::vector<std::string> reports = filesIn(folder, ".txt");
        ASSERT_EQ(reports.size(), 1u);
        const std::string report = test::readFile(reports[0]);
        EXPECT_THAT(report,
                    testing::ContainsRegex(std::string("failure message   : ") + c.message));
        EXPECT_THAT(report, testing::ContainsRegex(std::string("#[0-9]+ .*") + c.function));
        EXPECT_THAT(report, HasSubstr("\"crash_tests\"  (failing)\n"));
        EXPECT_THAT(report, testing::ContainsRegex("kernel +: Linux "));
        // A report about no failure object: saved, and nothing shown.
        EXPECT_TRUE(shown.empty());
    }
}

TEST_F(CrashEngine, DescribesAFailureObjectWithTheStackOfItsThrow) {
    std::exception_ptr first;
    try {
        throwFirst();
    } catch (...) {
        // Another failure thrown and caught before the first is reported.
        try {
            throwSecond();
        } catch (...) {
        }
        first = std::current_exception();
    }
    const crash::TfailureDescription thrownOne = crash::describeFailure(first);
    EXPECT_EQ(thrownOne.failure(), first);
    EXPECT_EQ(thrownOne.failureClass(), "vantle::Error");
    EXPECT_EQ(thrownOne.message(), "first");
    EXPECT_THAT(thrownOne.bugReport(), HasSubstr("where the failure was thrown:\n"));
    EXPECT_THAT(thrownOne.bugReport(), testing::ContainsRegex("#0 .*throwFirst\\(\\)"));
    EXPECT_THAT(thrownOne.bugReport(), Not(HasSubstr("throwSecond")));

    // Never thrown: the stack is the reporter's.
    const crash::TfailureDescription madeOne =
        crash::describeFailure(std::make_exception_ptr(std::runtime_error("made")));
    EXPECT_EQ(madeOne.failureClass(), "std::runtime_error");
    EXPECT_THAT(madeOne.bugReport(), HasSubstr("where the failure was reported:\n"));
    EXPECT_THAT(madeOne.bugReport(), HasSubstr("DescribesAFailureObjectWithTheStackOfItsThrow"));

    EXPECT_EQ(crash::describeFailure(thrown(42)).message(), "A failure of type int");
}

namespace {
bool takeIt = false;
std::vector<std::string> handed;
void recordingHandler(const crash::TfailureDescription& failure, bool& handled) {
    handed.push_back(failure.message());
    handled = takeIt;
}
} // namespace

TEST_F(CrashEngine, ShowsTheReportOnStandardErrorUnlessTheHandlerTookTheFailure) {
    crash::registerHandler(recordingHandler);
    for (const bool took : {false, true}) {
        SCOPED_TRACE(took ? "taken" : "left");
        takeIt = took;
        handed.clear();
        testing::internal::CaptureStderr();
        crash::reportUnhandled(thrown(Error("a failure left to the engine")));
        const std::string shownOnError = testing::internal::GetCapturedStderr();
        EXPECT_THAT(handed, testing::ElementsAre("a failure left to the engine"));
        EXPECT_EQ(shownOnError.find("vantle crash report\n") != std::string::npos, !took)
            << shownOnError;
    }
    crash::unregisterHandler(recordingHandler);
}
