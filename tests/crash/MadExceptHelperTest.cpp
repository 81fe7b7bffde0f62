// The program's crash-report layer: report files and their names, the clean-up of old ones, and
// what each handler does with a failure.
#include "crash/MadExceptHelper.h"

#include "lib/runtime/Error.h"
#include "lib/utils/FileUtils.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <pthread.h>
#include <thread>
#include <unistd.h>

using namespace vantle;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

namespace fs = std::filesystem;

std::vector<std::string> reportsIn(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".txt")
            files.push_back(it->path().string());
    std::sort(files.begin(), files.end());
    return files;
}

template <class T> std::exception_ptr thrown(T value) {
    try {
        throw value;
    } catch (...) {
        return std::current_exception();
    }
}

[[gnu::noinline]] void throwFromWorker() {
    throw Error("the worker failed");
}

class MadExcept : public testing::Test {
protected:
    MadExcept() {
        mad.setMessageBox([this](const std::string& m) { shown.push_back(m); });
    }
    ~MadExcept() override {
        mad.installHandler(nullptr);
        mad.setMessageBox(nullptr);
    }

    // The crash layer keeps its dump in the data folder from its first use.
    test::ScopedUserFolders home;
    TmadExcept& mad = TmadExcept::instance();
    test::TempDir dir;
    // Local time without daylight saving, so that day counts are exact.
    test::ScopedTimeZone zone{"UTC0"};
    std::vector<std::string> shown;
};

} // namespace

TEST_F(MadExcept, SaveReportNamesFilesByTheTimeAndNumbersTakenNames) {
    // The real time, as the files get it, but fixed.
    const TDateTime now = runtime::now();
    const test::ScopedClock clock(now);
    mad.setCrashFolder(dir.path() + "reports/nested");
    EXPECT_EQ(mad.crashFolder(), dir.path() + "reports/nested/");

    const std::string text("line 1\r\nline 2\0\xff", 16);
    const std::string stem = mad.crashFolder() + runtime::formatDateTime("yyyy-mm-dd hhnnss", now);
    const test::DebugCapture debug;
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i)
        paths.push_back(mad.saveReport(text));
    EXPECT_THAT(paths, ElementsAre(stem + ".txt", stem + " (2).txt", stem + " (3).txt"));
    for (const std::string& path : paths)
        EXPECT_EQ(test::readFile(path), text);
    EXPECT_THAT(debug.lines(),
                ElementsAre("saving crash report: " + paths[0], "saving crash report: " + paths[1],
                            "saving crash report: " + paths[2]));

    // Any entry takes a name, a folder too.
    fs::create_directory(stem + " (4).txt");
    EXPECT_EQ(mad.saveReport(text), stem + " (5).txt");
}

TEST_F(MadExcept, SaveReportDeletesEntriesMoreThan28WholeDaysOld) {
    const TDateTime now = runtime::now();
    const test::ScopedClock clock(now);
    mad.setCrashFolder(dir.path());
    struct Case {
        const char* name;
        double age; // days
        bool kept;
    };
    const Case cases[] = {
        {"27 days", 27.0, true},
        {"28 days", 28.0, true},
        {"28 days 23 hours", 28.96, true},
        {"29 days", 29.0, false},
        {"a year", 365.0, false},
        // Either way round from now.
        {"28 days 12 hours ahead", -28.5, true},
        {"29 days 12 hours ahead", -29.5, false},
    };
    for (const Case& c : cases) {
        const std::string path = dir.path() + c.name + ".txt";
        test::writeFile(path, "old report");
        SetFileModifiedTime(path, now - c.age);
    }
    const std::string folder = dir.path() + "old folder";
    fs::create_directory(folder);
    fs::last_write_time(folder, fs::file_time_type::clock::now() - std::chrono::hours(24 * 40));

    const std::string report = mad.saveReport("new report");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fs::exists(dir.path() + c.name + ".txt"), c.kept);
    }
    EXPECT_TRUE(fs::exists(report));
    EXPECT_TRUE(fs::is_directory(folder));
}

// A link planted under the name a report or this process's dump would take is never written
// through: each file is made new, under the next free name.
TEST_F(MadExcept, ReportsAndDumpsNeverWriteThroughALinkInTheirPlace) {
    const TDateTime now = runtime::now();
    const test::ScopedClock clock(now);
    const std::string folder = dir.path() + "reports/";
    const std::string victim = dir.path() + "victim";
    test::writeFile(victim, "the user's file");
    const std::string program = fs::read_symlink("/proc/self/exe").filename().string();
    const std::string dump = folder + "pending/" + program + "-" + std::to_string(::getpid());
    const std::string report = folder + runtime::formatDateTime("yyyy-mm-dd hhnnss", now);
    fs::create_directories(folder + "pending");
    fs::create_symlink(victim, dump + ".dump");
    fs::create_symlink(victim, report + ".txt");

    mad.setCrashFolder(folder);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dump + "-2.dump")));
    EXPECT_EQ(mad.saveReport("report"), report + " (2).txt");
    EXPECT_EQ(test::readFile(victim), "the user's file");
}

TEST_F(MadExcept, WithoutACrashFolderReportsGoToTheTemporaryFolderAndNothingIsDeleted) {
    const std::string temporary = dir.path() + "tmp/";
    fs::create_directory(temporary);
    const test::ScopedEnv tmpdir("TMPDIR", temporary);
    const std::string other = temporary + "another program's file";
    test::writeFile(other, "");
    SetFileModifiedTime(other, runtime::now() - 100);

    mad.setCrashFolder("");
    EXPECT_EQ(mad.crashFolder(), "");
    const std::string report = mad.saveReport("report");
    EXPECT_EQ(fs::path(report).parent_path().string() + "/", temporary);
    EXPECT_TRUE(fs::exists(other));
}

TEST_F(MadExcept, InteractiveHandlerShowsEveryFailureAndSavesOnlySevereOnes) {
    struct Case {
        const char* name;
        std::exception_ptr failure;
        const char* shown;
        bool saved;
    };
    const Case cases[] = {
        {"access violation",
         thrown(Error("Access violation at address 00000000. Read of address 00000000")),
         "Access violation at address 00000000. Read of address 00000000", true},
        {"invalid pointer operation", thrown(Error("Invalid pointer operation")),
         "Invalid pointer operation", true},
        {"words inside the message",
         thrown(std::runtime_error("Reading failed: Access violation at address 0")),
         "Reading failed: Access violation at address 0", true},
        {"other letter case", thrown(Error("access violation")), "access violation", false},
        {"other failure", thrown(Error("Division by zero")), "Division by zero", false},
        {"not a std::exception", thrown(42), "A failure of type int", false},
    };
    mad.installInteractiveHandler();
    EXPECT_EQ(mad.handler(), &TmadExcept::interactiveHandler);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mad.setCrashFolder(dir.path() + c.name);
        shown.clear();
        crash::reportUnhandled(c.failure);
        EXPECT_THAT(shown, ElementsAre(c.shown));
        const std::vector<std::string> reports = reportsIn(mad.crashFolder());
        ASSERT_EQ(reports.size(), c.saved ? 1u : 0u);
        if (c.saved) {
            EXPECT_THAT(test::readFile(reports[0]),
                        HasSubstr(std::string("failure message   : ") + c.shown + "\n"));
        }
    }

    // Before the GUI sets its message box.
    mad.setMessageBox(nullptr);
    testing::internal::CaptureStderr();
    crash::reportUnhandled(thrown(Error("no box yet")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "no box yet\n");
}

TEST_F(MadExcept, SilentHandlerSavesAFailureLeavingAGuardedThreadAndShowsNothing) {
    mad.setCrashFolder(dir.path());
    mad.installSilentHandler();
    EXPECT_EQ(mad.handler(), &TmadExcept::silentHandler);
    const test::DebugCapture debug;
    std::thread worker([] {
        pthread_setname_np(pthread_self(), "guarded-worker");
        crash::guardThread(throwFromWorker);
    });
    worker.join();

    const std::vector<std::string> reports = reportsIn(dir.path());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_THAT(debug.lines(), ElementsAre("saving crash report: " + reports[0]));
    EXPECT_TRUE(shown.empty());
    const std::string report = test::readFile(reports[0]);
    EXPECT_THAT(report, HasSubstr("failure class     : vantle::Error\n"));
    EXPECT_THAT(report, HasSubstr("failure message   : the worker failed\n"));
    EXPECT_THAT(report, HasSubstr("\"guarded-worker\", where the failure was thrown:\n"));
    EXPECT_THAT(report, testing::ContainsRegex(std::string("#0 .*throwFromWorker\\(\\)") +
                                               (VANTLE_DEBUG_INFO ? " at .*Test\\.cpp:" : "")));
    EXPECT_THAT(report, HasSubstr("  \"crash_tests\"\n"));
    EXPECT_THAT(report, HasSubstr("  \"guarded-worker\"  (failing)\n"));
    EXPECT_THAT(report, testing::ContainsRegex("program +: /.*crash_tests\n"));
    EXPECT_THAT(report, testing::ContainsRegex("version +: [0-9]{8}\\.[0-9]{6}\n"));
    EXPECT_THAT(report, testing::ContainsRegex("system up time +: [0-9]+ days "));
    EXPECT_THAT(report, testing::ContainsRegex("memory +: [0-9,]+ MiB total"));
}

TEST_F(MadExcept, ReportExceptionSavesWithoutShowingAndNeverRaises) {
    mad.setCrashFolder(dir.path() + "reports");
    mad.installInteractiveHandler();
    try {
        throwFromWorker();
    } catch (...) {
        mad.reportException(std::current_exception());
    }
    mad.reportIfSevere(thrown(Error("not severe")));
    const std::vector<std::string> reports = reportsIn(mad.crashFolder());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_THAT(test::readFile(reports[0]), testing::ContainsRegex("#0 .*throwFromWorker\\(\\)"));
    EXPECT_TRUE(shown.empty());

    // A crash folder that cannot be made: the failure goes to the diagnostic sink.
    test::writeFile(dir.path() + "a file", "");
    mad.setCrashFolder(dir.path() + "a file/reports");
    const test::DebugCapture debug;
    EXPECT_NO_THROW(mad.reportException(thrown(Error("lost"))));
    ASSERT_EQ(debug.lines().size(), 1u);
    EXPECT_THAT(debug.lines()[0], HasSubstr("Cannot create folder \"" + dir.path() + "a file/"));
}
