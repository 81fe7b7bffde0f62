// Faults of disk and process around the poll cycle and the program, over real files, real file
// systems and real processes: what the user is left with, that nothing saved is lost, and that
// the next cycle recovers.
#include "archive/unzip.h"
#include "config/configuration.h"
#include "config/statusPageArchive.h"
#include "lib/runtime/DateTime.h"
#include "outputs/alerts.h"
#include "platform/instanceRegistry.h"
#include "poll/pollCycle.h"
#include "shell/main_form.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "ui/sysTray.h"
#include "usage/failures.h"
#include "usage/iinet.h"
#include "usage/lastFailure.h"
#include "usage/providers.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sched.h>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vantle;
using namespace std::chrono_literals;
using testing::HasSubstr;

namespace fs = std::filesystem;

namespace {

// File systems mounted for one test. They live in a mount namespace of the test's own, so a
// test that dies leaves none behind; each is also unmounted at the end of the scope.
class Mounts {
public:
    // False where this process may not mount (not root); the tests that need it skip then.
    static bool available() {
        static const bool ok = ::unshare(CLONE_NEWNS) == 0 &&
                               ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        return ok;
    }

    ~Mounts() {
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it)
            ::umount2(it->c_str(), MNT_DETACH);
    }

    // A fresh file system of that many bytes at folder, as a small disk of its own; its root
    // has the mode and owner the options give.
    void tmpfs(const std::string& folder, std::size_t bytes,
               const std::string& rootOptions = "mode=0700") {
        fs::create_directories(folder);
        const std::string options = "size=" + std::to_string(bytes) + "," + rootOptions;
        if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
            throw std::system_error(errno, std::generic_category(), "mount " + folder);
        folders_.push_back(folder);
    }

    static void setReadOnly(const std::string& folder, bool readOnly) {
        const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
        if (::mount(nullptr, folder.c_str(), nullptr, flags, nullptr) != 0)
            throw std::system_error(errno, std::generic_category(), "remount " + folder);
    }

private:
    std::vector<std::string> folders_;
};

// Writes a filler file until the file system holding folder has no byte left.
void fill(const std::string& folder) {
    const int fd = ::open((folder + "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ASSERT_EQ(errno, ENOSPC);
    ::close(fd);
}

using Files = std::map<std::string, std::string>;

std::size_t lineCount(const std::string& file) {
    std::error_code ec;
    if (!fs::exists(file, ec))
        return 0;
    const std::string text = test::readFile(file);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Waits up to the limit (ten seconds unless said) for the condition.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(25ms);
    }
    return condition();
}

// The same, handling this process's events meanwhile (for a tray window in this process).
bool eventuallyHandlingEvents(const std::function<bool()>& condition) {
    for (int i = 0; i < 400; ++i) {
        if (condition())
            return true;
        QApplication::processEvents(QEventLoop::AllEvents, 25);
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The status page the program carries.
std::string programPage() {
    Tunzip archive(statusPageArchive());
    TmemoryTarget page;
    archive.extractToStream("status.html", page);
    return page.data;
}

class FaultTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    Mounts mounts;
    test::ScopedEnv platform{"QT_QPA_PLATFORM", "offscreen"};
    test::TempDir logs;
    const std::string simLog = logs.file("sim.log");
    std::unique_ptr<test::RunningSim> sim;
    std::unique_ptr<Tconfiguration> c;

    // A saved account on a stand-in with the given arguments, and one good cycle done.
    void setUpAccount(std::vector<std::string> simArguments = {}) {
        simArguments.insert(simArguments.end(), {"--log", simLog});
        sim = std::make_unique<test::RunningSim>(VANTLE_SIM, simArguments);
        c = std::make_unique<Tconfiguration>(VANTLE_PROGRAM);
        c->domain = std::string(IinetDomain);
        c->providers[c->domain] = sim->urlTemplate;
        c->username = "demo";
        c->password = "demo";
        saveAccount();
        test::DebugCapture debug;
        ASSERT_TRUE(runPollCycle(*c)) << testing::PrintToString(debug.lines());
    }

    // The stand-in replaces the provider's endpoint in the settings; save keeps that section.
    void saveAccount() {
        test::writeFile(c->configFile, "<conf><providers><iinet.net.au>" +
                                           test::xmlText(sim->urlTemplate) +
                                           "</iinet.net.au></providers></conf>");
        c->save();
    }

    std::string currentDocument() const { return c->dataFolder + std::string(CurrentDocumentName); }
    std::string lastGoodDocument() const {
        return c->dataFolder + std::string(LastGoodDocumentName);
    }
    std::size_t requests() const { return lineCount(simLog); }

    // The account's stored files by path: the usage documents and everything made from them.
    // (The settings file gains the program's version at each start; crash records come and go.)
    Files saved() const {
        Files files;
        for (auto it = fs::recursive_directory_iterator(c->dataFolder);
             it != fs::recursive_directory_iterator(); ++it) {
            if (it->path().filename() == "crashdumps")
                it.disable_recursion_pending();
            else if (it->is_regular_file() && it->path().filename() != "filler")
                files[it->path().string()] = test::readFile(it->path().string());
        }
        return files;
    }

    // The files added, removed or changed since before, but for the records of the attempt
    // itself (its failure, what to tell the user).
    static std::vector<std::string> changed(const Files& before, const Files& after) {
        std::vector<std::string> names;
        const auto record = [](const std::string& name) {
            const std::string file = fs::path(name).filename().string();
            return file == LastFailureName || file == AlertStateName;
        };
        for (const auto& [name, bytes] : before)
            if (!after.contains(name) || after.at(name) != bytes)
                names.push_back(name);
        for (const auto& [name, bytes] : after)
            if (!before.contains(name))
                names.push_back(name);
        std::erase_if(names, record);
        return names;
    }

    // The reports of failures saved for the user; a killed process leaves none.
    std::vector<std::string> crashReports() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(c->dataFolder + "crashdumps", ec))
            if (entry.is_regular_file())
                names.push_back(entry.path().filename().string());
        return names;
    }

    // What the program and the user read is whole: the settings give the account, the stored
    // documents load, the tray icon and the pies decode, the status document parses.
    void expectWhole() const {
        Tconfiguration reader{VANTLE_PROGRAM};
        {
            test::DebugCapture debug;
            reader.load();
            EXPECT_THAT(debug.lines(), testing::IsEmpty());
        }
        EXPECT_EQ(reader.username, "demo");
        Tiinet usage(reader);
        EXPECT_NO_THROW(usage.load(currentDocument(), lastGoodDocument()));
        EXPECT_FALSE(QImage(QString::fromStdString(c->trayIconFile)).isNull());
        EXPECT_THAT(test::readFile(c->trayHintFile), testing::Not(testing::IsEmpty()));
        for (const std::string pie : {"peak.png", "offpeak.png"})
            EXPECT_FALSE(QImage(QString::fromStdString(c->htmlFolder + pie)).isNull()) << pie;
        EXPECT_TRUE(
            QJsonDocument::fromJson(QByteArray::fromStdString(test::readFile(c->statusFile)))
                .isObject());
    }

    // A cycle as the program's worker runs it, with what it told the diagnostic sink.
    std::pair<bool, std::string> cycle() {
        test::DebugCapture debug;
        const bool done = runPollCycle(*c);
        std::string said;
        for (const std::string& line : debug.lines())
            said += line + "\n";
        return {done, said};
    }

    // Makes the next start of the program poll at once.
    void dueForPoll() { c->setUpdateTime(runtime::now() - 1.0 / 24); }

    bool registered() const {
        return platform::readInstanceRecord("zintra.vantle." + platform::userName(), VANTLE_PROGRAM)
                   .processId != 0;
    }

    void quit(test::SimProcess& program) {
        test::SimProcess ending(VANTLE_PROGRAM, {"-quit"});
        EXPECT_EQ(ending.wait(10s), 0);
        EXPECT_EQ(program.wait(15s), 0) << program.errors();
    }
};

struct DiskFault {
    const char* name;
    std::function<void(const Tconfiguration&)> strike, clear;
    const char* said;    // in the failed cycle's diagnostic line
    bool beforeAnyWrite; // the cycle fails before it replaces any file
};

class DiskFaultTest : public FaultTest {
protected:
    void SetUp() override {
        if (!Mounts::available())
            GTEST_SKIP() << "mounting a file system needs root here";
        // The data folder on a small disk of its own, the pictures' folder on another.
        const std::string data = home.dataHome() + "vantle/";
        mounts.tmpfs(data, 1 << 20);
        mounts.tmpfs(data + "html/", 128 << 10);
    }
};

} // namespace

// The data folder made read-only, its disk full, the pictures' disk full: the cycle fails with
// the system's reason, the tray keeps the last icon and hint, no file is torn, and the cycle
// after the fault has cleared succeeds.
TEST_F(DiskFaultTest, ACycleOnAFaultyDiskLosesNothingAndTheNextOneRecovers) {
    const DiskFault faults[] = {
        {"read-only data folder",
         [](const Tconfiguration& conf) { Mounts::setReadOnly(conf.dataFolder, true); },
         [](const Tconfiguration& conf) { Mounts::setReadOnly(conf.dataFolder, false); },
         "Read-only file system", true},
        {"full data disk", [](const Tconfiguration& conf) { fill(conf.dataFolder); },
         [](const Tconfiguration& conf) { fs::remove(conf.dataFolder + "filler"); },
         "No space left on device", true},
        // A stored picture unlike the one the cycle draws: an unchanged one is not written again.
        {"full pictures' disk",
         [](const Tconfiguration& conf) {
             fs::copy_file(conf.htmlFolder + "offpeak.png", conf.htmlFolder + "peak.png",
                           fs::copy_options::overwrite_existing);
             fill(conf.htmlFolder);
         },
         [](const Tconfiguration& conf) { fs::remove(conf.htmlFolder + "filler"); },
         "No space left on device", false},
    };
    setUpAccount();
    for (const DiskFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        const Files before = saved();
        fault.strike(*c);
        const Files struck = saved();
        const auto [done, said] = cycle();
        EXPECT_FALSE(done);
        EXPECT_THAT(said, HasSubstr(fault.said));
        const Files after = saved();
        if (fault.beforeAnyWrite) {
            EXPECT_THAT(changed(before, after), testing::IsEmpty());
        } else {
            // The pictures and the status document stay as they were, consistent with each other.
            for (const std::string& file :
                 {c->htmlFolder + "peak.png", c->htmlFolder + "offpeak.png", c->statusFile})
                EXPECT_EQ(after.at(file), struck.at(file)) << file;
        }
        fault.clear(*c);
        expectWhole();
        const auto [recovered, saidAfter] = cycle();
        EXPECT_TRUE(recovered) << saidAfter;
        expectWhole();
        // No temporary file of a failed write is left.
        EXPECT_EQ(saved().size(), before.size());
    }
}

namespace {

struct BadSettings {
    const char* name;
    std::function<void(const std::string& file)> make;
};

} // namespace

// The settings file replaced by a folder, by garbage, or truncated to nothing: the program
// still starts, says which file it could not read, asks for the account (it has none) and
// leaves the file and every stored usage file as they were; once the account is given again,
// it polls.
TEST_F(FaultTest, BadSettingsNeverStopTheProgramAndAreLeftForTheUser) {
    const BadSettings cases[] = {
        {"a folder",
         [](const std::string& file) {
             fs::remove(file);
             fs::create_directories(file + "/inside");
         }},
        {"garbage", [](const std::string& file) { test::writeFile(file, "\x01\xfe<conf><acc"); }},
        {"truncated to nothing", [](const std::string& file) { test::writeFile(file, ""); }},
        {"nested 200,000 levels deep",
         [](const std::string& file) {
             test::writeFile(file, "<conf><account><username>" +
                                       test::nestedElements(200000, "demo") +
                                       "</username></account></conf>");
         }},
    };
    setUpAccount();
    for (const BadSettings& bad : cases) {
        SCOPED_TRACE(bad.name);
        bad.make(c->configFile);
        const std::string damaged =
            fs::is_directory(c->configFile) ? std::string() : test::readFile(c->configFile);
        const Files before = saved();
        {
            test::SimProcess program(VANTLE_PROGRAM, {});
            ASSERT_TRUE(eventually([&] { return registered(); })) << program.errors();
            EXPECT_TRUE(eventually([&] {
                return program.errors().find(c->configFile) != std::string::npos;
            })) << program.errors();
            quit(program);
        }
        EXPECT_THAT(changed(before, saved()), testing::IsEmpty());
        EXPECT_EQ(fs::is_directory(c->configFile), std::string(bad.name) == "a folder");
        if (!fs::is_directory(c->configFile)) {
            EXPECT_EQ(test::readFile(c->configFile), damaged);
        }

        // The user answers the dialog again; a folder in the way has to go first. A file that
        // could not be read is kept aside.
        if (fs::is_directory(c->configFile)) {
            test::DebugCapture debug;
            c->save();
            EXPECT_THAT(testing::PrintToString(debug.lines()), HasSubstr(c->configFile));
            fs::remove_all(c->configFile);
        } else {
            c->save();
            EXPECT_EQ(test::readFile(c->configFile + ".corrupt"), damaged);
        }
        saveAccount(); // the stand-in's endpoint was in the lost file
        expectWhole();
        dueForPoll();
        const std::size_t asked = requests();
        test::SimProcess program(VANTLE_PROGRAM, {});
        EXPECT_TRUE(eventually([&] { return requests() > asked; })) << program.errors();
        quit(program);
    }
}

namespace {

struct BadDocuments {
    const char* name;
    std::function<void(const std::string& current, const std::string& lastGood)> damage;
};

} // namespace

// Stored usage documents damaged on disk: the next cycle replaces them. When the provider then
// answers with an error, the cycle needs the last good document: it fails naming that file, the
// tray keeps what it showed, and the cycle after it recovers.
TEST_F(FaultTest, DamagedStoredDocumentsAreReplacedByTheNextCycle) {
    const BadDocuments cases[] = {
        {"current is garbage",
         [](const std::string& current, const std::string&) {
             test::writeFile(current, "\x89PNG not a document");
         }},
        {"last good cut in half",
         [](const std::string&, const std::string& lastGood) {
             const std::string text = test::readFile(lastGood);
             test::writeFile(lastGood, text.substr(0, text.size() / 2));
         }},
        {"both truncated to nothing",
         [](const std::string& current, const std::string& lastGood) {
             test::writeFile(current, "");
             test::writeFile(lastGood, "");
         }},
    };
    // The provider answers the third request with an error, every other one with the usage.
    setUpAccount({"--fault", "error@3"});
    for (const BadDocuments& bad : cases) {
        SCOPED_TRACE(bad.name);
        bad.damage(currentDocument(), lastGoodDocument());
        const Files before = saved();
        const auto [done, said] = cycle();
        if (requests() == 3) {
            // The error answer and a damaged last good document.
            EXPECT_FALSE(done);
            EXPECT_THAT(said, HasSubstr(lastGoodDocument()));
            for (const std::string& file : {c->trayIconFile, c->trayHintFile, c->statusFile})
                EXPECT_EQ(saved().at(file), before.at(file)) << file;
            const auto [recovered, saidAfter] = cycle();
            EXPECT_TRUE(recovered) << saidAfter;
        } else {
            EXPECT_TRUE(done) << said;
        }
        expectWhole();
    }
    EXPECT_EQ(requests(), 5u);
}

// SIGKILL while the program waits for the provider's answer: the stored data and the settings
// are untouched, the instance record left behind does not refuse the next start, and that start
// polls and writes whole files.
TEST_F(FaultTest, AProgramKilledInTheMiddleOfACycleStartsAgainAndRecovers) {
    setUpAccount({"--fault", "stall@2"});
    dueForPoll();
    const Files before = saved();
    {
        test::SimProcess program(VANTLE_PROGRAM, {});
        ASSERT_TRUE(eventually([&] { return requests() == 2; })) << program.errors();
        EXPECT_THAT(test::readFile(simLog), HasSubstr("stalled"));
        program.signal(SIGKILL);
        program.wait(10s);
    }
    EXPECT_THAT(changed(before, saved()), testing::IsEmpty());
    EXPECT_FALSE(registered()); // the record is there, but names a process that is gone
    // Outputs that come out the same are left alone: the update marker tells the cycle ran.
    const TDateTime updated = c->updateTime();
    test::SimProcess next(VANTLE_PROGRAM, {});
    EXPECT_TRUE(eventually([&] { return registered(); })) << next.errors();
    EXPECT_TRUE(eventually([&] { return c->updateTime() > updated; })) << next.errors();
    quit(next);
    EXPECT_EQ(requests(), 3u);
    expectWhole();
    EXPECT_THAT(crashReports(), testing::IsEmpty());
}

// SIGKILL at random moments of whole cycles (vantlectl poll is the program's cycle in a process
// of its own): after each kill every file reads whole, and a last cycle succeeds.
TEST_F(FaultTest, CyclesKilledAtRandomMomentsNeverLeaveATornFile) {
    setUpAccount();
    for (int round = 0; round < 16; ++round) {
        SCOPED_TRACE(round);
        test::SimProcess poll(VANTLECTL, {"poll"});
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * round));
        poll.signal(SIGKILL);
        poll.wait(10s);
        expectWhole();
    }
    const test::CommandRun last = test::runCommand(std::string(VANTLECTL) + " poll 2>&1");
    EXPECT_EQ(last.status, 0) << last.output;
    expectWhole();
}

// SIGKILL in the middle of saving the settings, over and over: the program then starts with
// the account (old or new password), without asking, and polls with it.
TEST_F(FaultTest, AProgramStartsWithTheAccountAfterAKilledSave) {
    setUpAccount();
    for (int round = 0; round < 8; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) {
                c->password = i % 2 ? "demo" : "a much longer password than the first";
                c->save();
            }
        }
        ::usleep(static_cast<useconds_t>(2000 + round * 1500));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    Tconfiguration reader{VANTLE_PROGRAM};
    reader.load();
    EXPECT_EQ(reader.username, "demo");
    EXPECT_THAT(reader.password, testing::AnyOf("demo", "a much longer password than the first"));
    dueForPoll();
    test::SimProcess program(VANTLE_PROGRAM, {});
    EXPECT_TRUE(eventually([&] { return requests() == 2; })) << program.errors();
    EXPECT_THAT(test::readFile(simLog), HasSubstr("username=demo"));
    quit(program);
}

// Two cycles at once, round after round, while a reader keeps reading the tray's files as the
// tray window does: it never finds a torn or missing file, and no temporary file is left.
TEST_F(FaultTest, OverlappingCyclesNeverTearAFile) {
    setUpAccount();
    const std::size_t fileCount = saved().size();
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, reads{0};
    std::thread reader([&] {
        while (!done) {
            try {
                const QByteArray json = QByteArray::fromStdString(test::readFile(c->statusFile));
                const QByteArray icon = QByteArray::fromStdString(test::readFile(c->trayIconFile));
                if (!QJsonDocument::fromJson(json).isObject() ||
                    QImage::fromData(icon, "ICO").isNull() ||
                    test::readFile(c->trayHintFile).empty())
                    ++torn;
            } catch (const std::exception&) {
                ++torn;
            }
            ++reads;
        }
    });
    for (int round = 0; round < 6; ++round) {
        test::SimProcess first(VANTLECTL, {"poll"}), second(VANTLECTL, {"poll"});
        EXPECT_EQ(first.wait(20s), 0) << first.errors();
        EXPECT_EQ(second.wait(20s), 0) << second.errors();
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    expectWhole();
    EXPECT_EQ(saved().size(), fileCount);
}

namespace {

struct DamagedFile {
    const char* name;
    std::function<std::string(const Tconfiguration&)> damage; // returns the file it damaged
    bool hint;                                                // the tray's hint stands in
};

} // namespace

// A damaged tray icon, hint or status document at start: the default icon and hint stand in,
// the icon shows and the poll timer runs, the poll writes the file whole again, and no crash
// report is left.
TEST_F(FaultTest, DamagedTrayFilesOrStatusDocumentNeverStopTheStart) {
    const DamagedFile cases[] = {
        {"icon of garbage",
         [](const Tconfiguration& conf) {
             test::writeFile(conf.trayIconFile, std::string("\0\0\1\0\1\0garbage", 13));
             return conf.trayIconFile;
         },
         false},
        {"icon cut to nothing",
         [](const Tconfiguration& conf) {
             test::writeFile(conf.trayIconFile, "");
             return conf.trayIconFile;
         },
         false},
        {"hint far too long",
         [](const Tconfiguration& conf) {
             test::writeFile(conf.trayHintFile, std::string(1 << 20, 'x'));
             return conf.trayHintFile;
         },
         true},
        {"status document cut in half",
         [](const Tconfiguration& conf) {
             const std::string text = test::readFile(conf.statusFile);
             test::writeFile(conf.statusFile, text.substr(0, text.size() / 2));
             return conf.statusFile;
         },
         false},
    };
    setUpAccount();
    for (const DamagedFile& damaged : cases) {
        SCOPED_TRACE(damaged.name);
        const std::string file = damaged.damage(*c);
        const std::string bad = test::readFile(file);
        {
            test::DebugCapture debug;
            TmainFrm form;
            form.startUp();
            EXPECT_TRUE(form.tray().Active());
            EXPECT_TRUE(form.pollTimer.isActive());
            const std::string hint = damaged.hint ? "vantle" : test::readFile(c->trayHintFile);
            EXPECT_EQ(form.tray().Hint().toStdString(), hint);
        }
        dueForPoll();
        const std::size_t asked = requests();
        test::SimProcess program(VANTLE_PROGRAM, {});
        EXPECT_TRUE(eventually([&] { return requests() > asked; })) << program.errors();
        EXPECT_TRUE(eventually([&] { return test::readFile(file) != bad; })) << program.errors();
        quit(program);
        expectWhole();
        EXPECT_THAT(crashReports(), testing::IsEmpty());
    }
}

// SIGKILL at every moment of a start that installs the status page, over and over: the page
// is always whole, the one before or the program's, and nothing of the start is left beside
// the program file. A damaged page is repaired by the next start.
TEST_F(FaultTest, AStatusPageInstallKilledAtAnyMomentLeavesAWholePage) {
    c = std::make_unique<Tconfiguration>(VANTLE_PROGRAM);
    const std::string page = c->htmlFolder + "status.html";
    const std::string installed = programPage();
    const std::string older = "<html><body>an older page</body></html>";
    const fs::path besideProgram = fs::path(VANTLE_PROGRAM).parent_path() / "Crash Dumps";
    const bool leftBefore = fs::exists(besideProgram);
    const std::string version = logs.file("version.txt");
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        test::writeFile(page, older);
        {
            test::SimProcess start(VANTLE_PROGRAM, {"-dumpversion", version});
            std::this_thread::sleep_for(std::chrono::milliseconds(4 * round));
            start.signal(SIGKILL);
            start.wait(10s);
        }
        const std::string now = test::readFile(page);
        EXPECT_TRUE(now == older || now == installed) << now.size() << " bytes";
        EXPECT_FALSE(!leftBefore && fs::exists(besideProgram));
    }
    test::writeFile(page, installed.substr(0, installed.size() / 2));
    test::SimProcess start(VANTLE_PROGRAM, {"-dumpversion", version});
    EXPECT_EQ(start.wait(10s), 0) << start.errors();
    EXPECT_EQ(test::readFile(page), installed);
}

// A data folder that is read-only or full when the program starts, with a status page to
// install: the program runs with what is there, says why once, and keeps polling.
TEST_F(DiskFaultTest, AReadOnlyOrFullDataFolderAtStartLeavesTheProgramRunning) {
    // Both disks: the data folder's and the pictures' and page's.
    const DiskFault faults[] = {
        {"read-only data folder",
         [](const Tconfiguration& conf) {
             Mounts::setReadOnly(conf.htmlFolder, true);
             Mounts::setReadOnly(conf.dataFolder, true);
         },
         [](const Tconfiguration& conf) {
             Mounts::setReadOnly(conf.dataFolder, false);
             Mounts::setReadOnly(conf.htmlFolder, false);
         },
         "Read-only file system", true},
        {"full data disk",
         [](const Tconfiguration& conf) {
             fill(conf.htmlFolder);
             fill(conf.dataFolder);
         },
         [](const Tconfiguration& conf) {
             fs::remove(conf.dataFolder + "filler");
             fs::remove(conf.htmlFolder + "filler");
         },
         "No space left on device", true},
    };
    setUpAccount();
    const std::string told = "vantle cannot update its files in \"" + c->dataFolder + "\": ";
    for (const DiskFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        test::writeFile(c->htmlFolder + "status.html", "<html>an older page</html>");
        dueForPoll();
        const Files before = saved();
        fault.strike(*c);
        const std::size_t asked = requests();
        {
            test::SimProcess program(VANTLE_PROGRAM, {});
            ASSERT_TRUE(eventually([&] { return registered(); })) << program.errors();
            EXPECT_TRUE(eventually([&] { return requests() > asked; })) << program.errors();
            EXPECT_TRUE(eventually([&] {
                return program.errors().find(told + fault.said) != std::string::npos;
            })) << program.errors();
            quit(program);
            EXPECT_EQ(occurrences(program.errors(), told), 1u) << program.errors();
        }
        EXPECT_THAT(changed(before, saved()), testing::IsEmpty());
        fault.clear(*c);
    }
}

// "-quit" and "-dumpversion" where no display is: both do their work without one.
TEST_F(FaultTest, QuitDumpVersionHelpAndVersionNeedNoDisplay) {
    setUpAccount();
    test::SimProcess program(VANTLE_PROGRAM, {});
    ASSERT_TRUE(eventually([&] { return registered(); })) << program.errors();
    const test::ScopedEnv noPlatform("QT_QPA_PLATFORM", std::nullopt);
    const test::ScopedEnv noDisplay("DISPLAY", std::nullopt);
    const test::ScopedEnv noWayland("WAYLAND_DISPLAY", std::nullopt);
    const std::string version = logs.file("version.txt");
    test::SimProcess dump(VANTLE_PROGRAM, {"-dumpversion", version});
    EXPECT_EQ(dump.wait(10s), 0) << dump.errors();
    EXPECT_THAT(test::readFile(version), testing::MatchesRegex("[0-9]{8}\\.[0-9]{6}"));
    // --help and --version answer and end, beside the running instance, which stays.
    const test::CommandRun help = test::runCommand(std::string(VANTLE_PROGRAM) + " --help");
    EXPECT_EQ(help.status, 0) << help.output;
    EXPECT_THAT(help.output, testing::StartsWith("Usage: vantle [OPTION]\n"));
    EXPECT_THAT(help.output, HasSubstr("--version"));
    const test::CommandRun shown = test::runCommand(std::string(VANTLE_PROGRAM) + " --version");
    EXPECT_EQ(shown.status, 0) << shown.output;
    EXPECT_THAT(
        shown.output,
        testing::MatchesRegex("vantle [0-9]+\\.[0-9]+\\.[0-9]+ \\(build [0-9]{8}\\.[0-9]{6}\\)\n"));
    EXPECT_TRUE(registered());
    quit(program);
    EXPECT_FALSE(registered());
    EXPECT_THAT(crashReports(), testing::IsEmpty());
    EXPECT_FALSE(fs::exists(c->dataFolder + "crashdumps/pending"));
}

// Without XDG_RUNTIME_DIR the instance records live in a folder of the user's own home, so
// that another user who made the old shared folder first cannot keep the program from starting.
TEST_F(FaultTest, ARuntimeFolderTakenByAnotherUserDoesNotStopTheStart) {
    if (!Mounts::available())
        GTEST_SKIP() << "mounting a file system needs root here";
    setUpAccount();
    const std::string shared = "/tmp/vantle-" + std::to_string(::getuid());
    // The mount point, left behind by a test that dies, is still the user's private folder.
    const bool existed = ::mkdir(shared.c_str(), 0700) != 0;
    test::TempDir cache;
    {
        // Only this test's processes see the taken folder (a mount of their namespace).
        Mounts taken;
        taken.tmpfs(shared, 64 << 10, "mode=0700,uid=65534,gid=65534");
        ASSERT_EQ(fs::status(shared).permissions(), fs::perms::owner_all);
        const test::ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
        const test::ScopedEnv cacheHome("XDG_CACHE_HOME", cache.path());
        test::SimProcess program(VANTLE_PROGRAM, {});
        EXPECT_TRUE(eventually([&] { return registered(); })) << program.errors();
        const std::string run = cache.path() + "vantle/run";
        EXPECT_EQ(fs::status(run).permissions(), fs::perms::owner_all);
        EXPECT_TRUE(fs::exists(run + "/zintra.vantle." + platform::userName()));
        quit(program);
    }
    if (!existed)
        fs::remove(shared);
}

// Two starts given different runtime folders do not see each other's instance records; the
// data folder they share still lets only one of them run.
TEST_F(FaultTest, TwoStartsWithOtherRuntimeFoldersNeverShareTheDataFolder) {
    setUpAccount();
    test::SimProcess first(VANTLE_PROGRAM, {});
    ASSERT_TRUE(eventually([&] { return registered(); })) << first.errors();
    test::TempDir otherRuntime;
    {
        const test::ScopedEnv runtime("XDG_RUNTIME_DIR", otherRuntime.path());
        EXPECT_FALSE(registered());
        // Without a display its message box waits for a click; its diagnostic line says why.
        test::SimProcess second(VANTLE_PROGRAM, {});
        EXPECT_TRUE(eventually([&] {
            return second.errors().find("vantle is already running.") != std::string::npos;
        })) << second.errors();
        EXPECT_FALSE(registered());
    }
    quit(first);
    const test::ScopedEnv runtime("XDG_RUNTIME_DIR", otherRuntime.path());
    test::SimProcess next(VANTLE_PROGRAM, {});
    EXPECT_TRUE(eventually([&] { return registered(); })) << next.errors();
    quit(next);
}

namespace {

struct PlantedLink {
    const char* name;
    const char* link;   // in the data folder
    const char* target; // in a folder outside it
};

} // namespace

// Links in the data folder, wherever they point: the account reset removes the links, never
// what they point to, and leaves a real "html" folder holding only the page.
TEST_F(FaultTest, AnAccountResetNeverFollowsALinkOutOfTheDataFolder) {
    const PlantedLink links[] = {
        {"html is a link to a folder", "html", ""},
        {"a pie is a link", "html/peak.png", "photo.png"},
        {"a usage document is a link", "iinet-current.xml", "letter.txt"},
    };
    setUpAccount();
    for (const PlantedLink& planted : links) {
        SCOPED_TRACE(planted.name);
        test::TempDir outside;
        const Files theirs{{outside.path() + "photo.png", "a photo"},
                           {outside.path() + "letter.txt", "a letter"}};
        for (const auto& [path, bytes] : theirs)
            test::writeFile(path, bytes);
        const std::string link = c->dataFolder + planted.link;
        fs::remove_all(link);
        fs::create_symlink(outside.path() + planted.target, link);

        c->resetAccountData();
        for (const auto& [path, bytes] : theirs)
            EXPECT_EQ(test::readFile(path), bytes) << path;
        EXPECT_FALSE(fs::is_symlink(fs::symlink_status(link)));
        EXPECT_FALSE(fs::is_symlink(fs::symlink_status(c->dataFolder + "html")));
        std::vector<std::string> html;
        for (const auto& entry : fs::directory_iterator(c->htmlFolder))
            html.push_back(entry.path().filename().string());
        EXPECT_THAT(html, testing::UnorderedElementsAre("status.html", "warning.png"));
        EXPECT_EQ(test::readFile(c->htmlFolder + "status.html"), programPage());
    }
}

// Configure with another account: right after the dialog the tray no longer shows the old
// account's figures, and the new account's come from a poll at once, not half an hour later.
TEST_F(FaultTest, AChangeOfAccountShowsTheNewAccountsFiguresAtOnce) {
    setUpAccount({"--static"});
    TmainFrm form;
    mainFrm = &form;
    form.startUp();
    // The first tick finds the update moments old, and the next is half an hour away.
    c->setUpdateTime(runtime::now());
    form.pollTimerTimer();
    const QString demoHint = form.tray().Hint();
    ASSERT_NE(demoHint, "vantle");

    // The user enters the other account and saves.
    QTimer user;
    user.setInterval(20);
    QObject::connect(&user, &QTimer::timeout, [&user] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog->objectName() != "configFrm" || !dialog->isActiveWindow())
            return;
        user.stop();
        dialog->findChild<QLineEdit*>("usernameEdit")->setText("shaped");
        dialog->findChild<QComboBox*>("domainEdit")->setCurrentIndex(0);
        dialog->findChild<QLineEdit*>("passwordEdit")->setText("shaped");
        dialog->findChild<QPushButton*>("saveBtn")->click();
    });
    user.start();
    auto asShaped = [this] { return occurrences(test::readFile(simLog), "username=shaped"); };
    form.Configure1Click();
    EXPECT_EQ(asShaped(), 1u); // the verification
    EXPECT_EQ(form.tray().Hint(), "vantle");

    EXPECT_TRUE(eventuallyHandlingEvents([&] { return form.tray().Hint() != "vantle"; }));
    EXPECT_EQ(asShaped(), 2u);
    EXPECT_NE(form.tray().Hint(), demoHint);
    EXPECT_EQ(form.tray().Hint().toStdString(), test::readFile(c->trayHintFile));
    mainFrm = nullptr;
}

namespace {

// One hostile answer of the provider and what the user must be left with.
struct HostileAnswer {
    const char* name;
    std::string fault;                // the stand-in's fault for every request after the first
    std::optional<TfailureKind> kind; // how the cycle fails; none: it completes
    std::string said;                 // in the failure's detail, or the error text shown
    std::chrono::seconds bound;       // the longest a cycle may take with it
};

} // namespace

// Answers an attacker in the provider's place would send. The worker's cycle (in-process),
// vantlectl poll and the real program each meet them at once: each ends within its bound with
// a clear message (vantlectl's starts with the failure's plain sentence), nothing crashes, the
// last good document stays byte for byte, a failed cycle changes no file, and nothing over 1 MiB
// is stored.
TEST_F(FaultTest, HostileAnswersNeverHurtTheUser) {
    const auto answer = [this](const char* name, const std::string& bytes) {
        const std::string file = logs.file(name);
        test::writeFile(file, bytes);
        return "answer=" + file;
    };
    const std::string script =
        "<img src=\"x\" onerror=\"new RTCPeerConnection({iceServers: [{urls: "
        "\\\"stun:127.0.0.1:9\\\"}]})\"><script>document.title = 1</script>Locked";
    const HostileAnswer cases[] = {
        {"nested 100,000 levels deep",
         answer("deep.xml",
                "<ii_feed>" + test::nestedElements(100000, "<volume_usage/>") + "</ii_feed>"),
         TfailureKind::notUsageDocument, "nests deeper than 64 levels", 60s},
        {"3 MiB", answer("big.xml", "<ii_feed>" + std::string(3 << 20, ' ') + "</ii_feed>"),
         TfailureKind::tooLarge, "larger than 1048576 bytes", 60s},
        {"one byte a second", "trickle", TfailureKind::timedOut, "timed out", 150s},
        {"a maintenance page in XHTML",
         answer("xhtml.xml", "<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\">"
                             "<body><p>Down for maintenance</p></body></html>"),
         TfailureKind::notUsageDocument, "its root element is <html>", 60s},
        {"an error of one blank", answer("blank.xml", "<ii_feed><error> </error></ii_feed>"),
         std::nullopt, " ", 60s},
        {"an error text with script",
         answer("script.xml", "<ii_feed><error>" + test::xmlText(script) + "</error></ii_feed>"),
         std::nullopt, script, 60s},
    };
    for (const HostileAnswer& hostile : cases) {
        SCOPED_TRACE(hostile.name);
        fs::remove(simLog); // each stand-in's requests counted from 1
        setUpAccount({"--fault", hostile.fault + "@2", "--fault", hostile.fault + "@3", "--fault",
                      hostile.fault + "@4"});
        const std::string lastGood = test::readFile(lastGoodDocument());
        const Files before = saved();
        dueForPoll();
        const auto started = std::chrono::steady_clock::now();

        // The program polls first; vantlectl and the worker's cycle meet the answer beside it.
        test::SimProcess program(VANTLE_PROGRAM, {});
        ASSERT_TRUE(eventually([&] { return requests() == 2; })) << program.errors();
        if (!hostile.kind) {
            // Its cycle completes before the others, so its outputs are its own to check.
            ASSERT_TRUE(eventually([&] {
                return QJsonDocument::fromJson(
                           QByteArray::fromStdString(test::readFile(c->statusFile)))
                           .object()
                           .value("error")
                           .toString()
                           .toStdString() == hostile.said;
            })) << program.errors();
        }
        test::SimProcess poll(VANTLECTL, {"poll"});
        ASSERT_TRUE(eventually([&] { return requests() == 3; })) << poll.errors();
        std::exception_ptr failure;
        test::DebugCapture debug;
        const bool done = runPollCycle(*c, &failure);
        const int polled = poll.wait(hostile.bound);
        EXPECT_LT(std::chrono::steady_clock::now() - started, hostile.bound + 30s);

        if (hostile.kind) {
            EXPECT_FALSE(done);
            EXPECT_EQ(failureKind(failure), *hostile.kind);
            EXPECT_THAT(failureMessage(failure), HasSubstr(hostile.said));
            EXPECT_EQ(polled, 1);
            EXPECT_THAT(poll.errors(),
                        testing::StartsWith("vantlectl poll: " +
                                            std::string(failureSentence(*hostile.kind)) + "\n"));
            EXPECT_THAT(poll.errors(), HasSubstr(hostile.said));
            EXPECT_TRUE(
                eventually([&] { return program.errors().find(hostile.said) != std::string::npos; },
                           hostile.bound))
                << program.errors();
            // Refused before anything was stored: every file as it was.
            EXPECT_THAT(changed(before, saved()), testing::IsEmpty());
        } else {
            // A refusal completes the cycle from the last good document, with its text shown.
            EXPECT_TRUE(done) << failureMessage(failure);
            EXPECT_EQ(polled, 0) << poll.errors();
            EXPECT_THAT(poll.errors(), HasSubstr(failureSentence(TfailureKind::providerError)));
            EXPECT_THAT(test::readFile(currentDocument()), HasSubstr("<error>"));
            expectWhole();
        }
        EXPECT_EQ(test::readFile(lastGoodDocument()), lastGood);
        EXPECT_TRUE(registered()) << "the program is still there";
        quit(program);
        for (const auto& [file, bytes] : saved())
            EXPECT_LE(bytes.size(), 1u << 20) << file;
        EXPECT_THAT(crashReports(), testing::IsEmpty());
    }
}

// Traffic types an attacker would name: the cycle completes, every picture lands in the html
// folder under a name of its own, the page's own files stay, at most 16 types are shown, and
// the status document points at pictures that are there.
TEST_F(FaultTest, HostileTrafficTypesNeverStopTheCycle) {
    const auto type = [](const std::string& classification) {
        return "<type classification=\"" + test::xmlText(classification) +
               "\" used=\"5000000\"><name>n</name><quota_allocation>10</quota_allocation>"
               "<is_shaped speed=\"0\">false</is_shaped></type>";
    };
    const auto document = [&type](const std::string& types) {
        return "<ii_feed><volume_usage><expected_traffic_types>" + type("peak") + type("offpeak") +
               types + "</expected_traffic_types></volume_usage></ii_feed>";
    };
    std::string many;
    for (int i = 0; i < 2000; ++i) {
        const std::string number = std::to_string(i);
        many += type("t" + number);
    }
    const std::string names =
        type("warning") + type("status") + type(std::string(300, 'w')) + type("../x");
    test::writeFile(logs.file("names.xml"), document(names));
    test::writeFile(logs.file("many.xml"), document(many));
    setUpAccount({"--fault", "answer=" + logs.file("names.xml") + "@2", "--fault",
                  "answer=" + logs.file("many.xml") + "@3", "--fault",
                  "answer=" + logs.file("names.xml") + "@4"});
    const std::string page = test::readFile(c->htmlFolder + "status.html");
    const std::string warning = test::readFile(c->htmlFolder + "warning.png");

    for (const char* run : {"names", "2,000 types"}) {
        SCOPED_TRACE(run);
        const auto [done, said] = cycle();
        EXPECT_TRUE(done) << said;
        std::set<std::string> pictures;
        for (const auto& entry : fs::directory_iterator(c->htmlFolder))
            if (entry.path().extension() == ".png" && entry.path().filename() != "warning.png")
                pictures.insert(entry.path().filename().string());
        EXPECT_LE(pictures.size(), MaxTrafficTypes);
        const QJsonArray traffic =
            QJsonDocument::fromJson(QByteArray::fromStdString(test::readFile(c->statusFile)))
                .object()
                .value("traffic")
                .toArray();
        EXPECT_EQ(traffic.size(), std::string(run) == "names" ? 6 : 16);
        for (const QJsonValue& t : traffic) {
            const QString img = t.toObject().value("img").toString();
            const std::string file = QUrl(img).toLocalFile().toStdString();
            EXPECT_EQ(fs::path(file).parent_path().string() + "/", c->htmlFolder) << file;
            EXPECT_TRUE(pictures.contains(fs::path(file).filename().string())) << file;
        }
        EXPECT_EQ(test::readFile(c->htmlFolder + "status.html"), page);
        EXPECT_EQ(test::readFile(c->htmlFolder + "warning.png"), warning);
        EXPECT_FALSE(fs::exists(c->dataFolder + "x.png"));
    }
    // After the 2,000 types, the next document's pictures replace theirs.
    const test::CommandRun poll = test::runCommand(std::string(VANTLECTL) + " poll 2>&1");
    EXPECT_EQ(poll.status, 0) << poll.output;
    std::size_t pngs = 0;
    for (const auto& entry : fs::directory_iterator(c->htmlFolder))
        pngs += entry.path().extension() == ".png";
    EXPECT_EQ(pngs, 7u); // six types and the page's warning
}
