// vantlectl run as a real process, in a profile of temporary folders.
#include "archive/ArchiveTestSupport.h"
#include "config/configuration.h"
#include "history/historyStore.h"
#include "lib/runtime/DateTime.h"
#include "support/HistorySamples.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "usage/failures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>

using namespace vantle;
using testing::HasSubstr;

namespace {

struct Outcome {
    int status = -1;
    std::string output; // standard output and error together
};

Outcome vantlectl(const std::string& arguments) {
    const test::CommandRun run =
        test::runCommand(std::string(VANTLECTL) + " " + arguments + " 2>&1");
    return {run.status, run.output};
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
                              program + ")\nnotifications: on, at 80 %, 90 %, 100 %\n");
    EXPECT_EQ(test::readFile(c.configFile), before); // reading changed nothing

    c.password.clear();
    c.save();
    c.setRunAtLogin(false);
    run = vantlectl("config");
    EXPECT_THAT(run.output, HasSubstr("password: not stored\nstart at login: no\n"));

    // The notifications are set in their own section; the account stays as it was.
    run = vantlectl("config --notify no --thresholds 95,75");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("username: john smith\n"));
    EXPECT_THAT(run.output, HasSubstr("notifications: off (thresholds 75 %, 95 %)\n"));
    c.load();
    EXPECT_EQ(c.username, "john smith");
    EXPECT_FALSE(c.notifications.enabled);
    EXPECT_EQ(c.notifications.thresholds, (std::vector<int>{75, 95}));
    for (const char* wrong : {"--thresholds 80,,90", "--thresholds 0", "--notify maybe",
                              "--thresholds", "--colour red"}) {
        run = vantlectl(std::string("config ") + wrong);
        EXPECT_EQ(run.status, 1) << wrong;
        EXPECT_THAT(run.output, HasSubstr("vantlectl config: ")) << wrong;
    }
    c.load();
    EXPECT_EQ(c.notifications.thresholds, (std::vector<int>{75, 95}));

    test::writeFile(c.configFile, "<conf><account>");
    run = vantlectl("config");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("vantlectl config: Cannot read the settings file \"" +
                                      c.configFile + "\""));
}

TEST(VantlectlRender, WritesTheOutputsOfAGivenDocumentIntoDir) {
    test::ScopedUserFolders home;
    test::TempDir out;
    const std::string dir = out.path() + "x/";
    const Outcome run =
        vantlectl("render --usage " VANTLE_FIXTURES "/usage/sample.xml --out " + out.path() + "x");
    EXPECT_EQ(run.status, 0) << run.output;
    // The hint of the type current by the real clock.
    EXPECT_THAT(run.output, testing::ContainsRegex("(^|\n)(Peak: 45% \\(11,250 / 25,000\\)|"
                                                   "Off Peak: 12% \\(4,217 / 35,000\\))\n"));
    const std::string hint = test::readFile(dir + "startbar.txt");
    EXPECT_THAT(run.output, HasSubstr(hint + "\n"));
    EXPECT_EQ(test::readFile(dir + "startbar.ico").size(), 1150u);
    EXPECT_EQ(test::readFile(dir + "html/peak.png").substr(1, 3), "PNG");
    EXPECT_TRUE(std::filesystem::exists(dir + "html/offpeak.png"));
    EXPECT_FALSE(std::filesystem::exists(dir + "html/freezone.png")); // no quota
    const std::string status = test::readFile(dir + "status.json");
    EXPECT_THAT(status, testing::StartsWith("{\"error\":\"\",\"current\":\""));
    EXPECT_THAT(status, HasSubstr("\"img\":\"file://" + dir + "html/peak.png\""));
    EXPECT_THAT(status, HasSubstr("\"freezone\":\"1,235 MB\""));
    // The profile's own files are left alone.
    EXPECT_FALSE(std::filesystem::exists(home.dataHome() + "vantle/startbar.ico"));
    EXPECT_FALSE(std::filesystem::exists(home.dataHome() + "vantle/status.json"));
}

TEST(VantlectlRender, WritesTheProfilesFilesFromItsStoredDocuments) {
    test::ScopedUserFolders home;
    const std::string data = home.dataHome() + "vantle/";
    std::filesystem::create_directories(data);
    test::writeFile(data + "iinet-current.xml",
                    test::readFile(VANTLE_FIXTURES "/usage/sample.xml"));
    const Outcome run = vantlectl("render");
    EXPECT_EQ(run.status, 0) << run.output;
    for (const char* file : {"startbar.ico", "tray.ico", "startbar.txt", "status.json",
                             "html/peak.png", "html/offpeak.png"}) {
        SCOPED_TRACE(file);
        EXPECT_TRUE(std::filesystem::exists(data + file));
    }
}

TEST(VantlectlRender, FailuresSayWhyAndWriteNothing) {
    test::ScopedUserFolders home;
    test::TempDir dir;
    const std::string noCurrent = dir.file("freezone.xml");
    test::writeFile(noCurrent,
                    "<ii_feed><volume_usage><expected_traffic_types>"
                    "<type classification=\"freezone\" used=\"1\"><name>freezone</name></type>"
                    "</expected_traffic_types></volume_usage></ii_feed>");
    const std::string blocked = dir.file("blocked");
    test::writeFile(blocked, "");
    struct Case {
        std::string arguments;
        std::string message;
    };
    const Case cases[] = {
        {"render", "no usage document is stored yet"},
        {"render --usage " + dir.path() + "none.xml", "no such file: " + dir.path() + "none.xml"},
        {"render --usage " + noCurrent + " --out " + dir.path() + "out",
         "vantlectl render: Failed to find current traffic data"},
        {"render --usage " VANTLE_FIXTURES "/usage/sample.xml --out " + blocked + "/sub",
         "vantlectl render: Cannot create file \"" + blocked + "/sub/startbar.ico\". "},
        {"render --out", "--out needs a DIR"},
        {"render --frobnicate", "unknown argument \"--frobnicate\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Outcome run = vantlectl(c.arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.output, HasSubstr(c.message));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "out"));
    EXPECT_FALSE(std::filesystem::exists(home.dataHome() + "vantle/startbar.ico"));
}

TEST(VantlectlUnzip, ListsAndExtractsWithTheProgramsReader) {
    test::ScopedUserFolders home;
    test::TempDir dir;
    const std::string zip = dir.file("page.zip");
    test::writeFile(zip, test::buildZip({test::storedMember("Status.html", "hello"),
                                         test::storedMember("Sub/Note.txt", "hello")}));

    Outcome run = vantlectl("unzip --list " + zip);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "status.html\nsub/note.txt\n");

    const std::string out = dir.path() + "out";
    std::filesystem::create_directory(out);
    run = vantlectl("unzip " + zip + " " + out);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "status.html: No Error\nsub/note.txt: Cannot create file \"" + out +
                              "/sub/note.txt\". No such file or directory\n");
    EXPECT_EQ(test::readFile(out + "/status.html"), "hello");
    std::filesystem::create_directory(out + "/sub");
    run = vantlectl("unzip " + zip + " " + out);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(test::readFile(out + "/sub/note.txt"), "hello");

    const std::string text = dir.file("text.zip");
    test::writeFile(text, "not an archive");
    run = vantlectl("unzip " + text);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "vantlectl unzip: Corrupt archive\n");
    run = vantlectl("unzip");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("takes ARCHIVE [DIR] or --list ARCHIVE"));
}

namespace {

// A profile whose settings point the first provider at a running vantle-sim.
void pointAtSim(const Tconfiguration& c, const std::string& urlTemplate) {
    test::writeFile(c.configFile, "<conf><providers><iinet.net.au>" + test::xmlText(urlTemplate) +
                                      "</iinet.net.au></providers></conf>");
}

} // namespace

TEST(VantlectlConfigure, ChecksWhatWasEnteredLikeTheDialog) {
    test::ScopedUserFolders home;
    struct Case {
        std::string input;
        const char* message;
    };
    const Case cases[] = {
        {"printf 'pw\\n' | %s configure --username '  ' --domain iinet.net.au",
         "You must provide your username."},
        {"printf 'pw\\n' | %s configure --username john --domain ''",
         "You must provide your domain."},
        {"printf ' \\n' | %s configure --username john --domain iinet.net.au",
         "You must provide your password."},
        {"printf 'pw\\n' | %s configure --username john --domain example.com",
         "Unsupported domain: example.com"},
        {"%s configure --username john --run-at-login maybe", "--run-at-login takes yes or no"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.message);
        std::string command = k.input;
        command.replace(command.find("%s"), 2, VANTLECTL);
        const test::CommandRun run = test::runCommand(command + " 2>&1");
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.output, HasSubstr(k.message));
    }
}

TEST(VantlectlConfigure, VerifiesSavesAndPolls) {
    test::ScopedUserFolders home;
    test::RunningSim sim(VANTLE_SIM, {"--static"});
    Tconfiguration c;
    pointAtSim(c, sim.urlTemplate);

    Outcome run = vantlectl("poll");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("no account is set up"));

    test::TempDir dir;
    const std::string wrong = dir.file("wrong");
    const std::string right = dir.file("right");
    test::writeFile(wrong, "wrong\n");
    test::writeFile(right, "  demo  \n");
    run = vantlectl("configure --username demo --domain IINET.NET.AU < " + wrong);
    EXPECT_EQ(run.status, 1);
    // The plain sentence first, the provider's words under it.
    EXPECT_THAT(run.output, HasSubstr("vantlectl configure: " +
                                      std::string(failureSentence(TfailureKind::providerError)) +
                                      "\nThe provider answered: Authentication failed\n"));

    run =
        vantlectl("configure --username demo --domain IINET.NET.AU --run-at-login yes < " + right);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("Saved the account demo on iinet.net.au"));
    c.load();
    EXPECT_EQ(c.username, "demo");
    EXPECT_EQ(c.domain, "iinet.net.au");
    EXPECT_EQ(c.password, "demo"); // trimmed as the dialog trims it
    EXPECT_EQ(c.providers.at("iinet.net.au"), sim.urlTemplate);
    EXPECT_TRUE(std::filesystem::exists(home.configHome() + "autostart/vantle.desktop"));

    // A wrong password is refused; the saved account stays.
    run = vantlectl("configure --username demo --domain iinet.net.au < " + wrong);
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("The provider answered: Authentication failed"));
    c.load();
    EXPECT_EQ(c.password, "demo");

    run = vantlectl("poll");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_THAT(run.output, testing::StartsWith("Peak: "));
    EXPECT_EQ(run.output, test::readFile(c.trayHintFile) + "\n");
    for (const std::string& file : {c.statusFile, c.trayIconFile, c.htmlFolder + "peak.png"})
        EXPECT_TRUE(std::filesystem::exists(file)) << file;
}

TEST(VantlectlPoll, AFailedCycleSaysWhy) {
    test::ScopedUserFolders home;
    std::string urlTemplate;
    {
        test::RunningSim sim(VANTLE_SIM, {"--static"});
        urlTemplate = sim.urlTemplate;
    } // stopped: nothing listens on its port any more
    Tconfiguration c;
    pointAtSim(c, urlTemplate);
    c.load();
    c.username = "demo";
    c.domain = "iinet.net.au";
    c.password = "demo";
    c.save();
    const Outcome run = vantlectl("poll");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("vantlectl poll: "));
    EXPECT_THAT(run.output, HasSubstr("onnect")); // libcurl's "Couldn't connect to server"
    EXPECT_FALSE(std::filesystem::exists(c.statusFile));
}

namespace {

// A profile's history of two months and a half of polls, a provider's name of the peak type
// with a separator, quotes and a byte that is not UTF-8.
class VantlectlHistory : public testing::Test {
protected:
    test::ScopedUserFolders home;
    const std::string database = home.dataHome() + "vantle/history.sqlite";

    void keepHistory() {
        std::vector<ThistorySample> samples =
            test::pollSamples(runtime::encodeDateTime({2026, 10, 1, 0, 10, 0, 0}), 3648);
        for (ThistorySample& s : samples)
            s.traffic[0].name = "Peak, \"fast\"\xff";
        std::filesystem::create_directories(home.dataHome() + "vantle");
        ThistoryStore(database, ThistoryStore::Access::write).append(samples);
    }
};

QJsonDocument parsedJson(const std::string& text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n"
                                                     << text;
    return document;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

} // namespace

TEST_F(VantlectlHistory, PrintsThePeriodsDaysAsJsonCsvAndText) {
    keepHistory();
    // 3,648 polls from 1 October: the last one on 15 December, 23:40.
    Outcome run = vantlectl("history --json");
    ASSERT_EQ(run.status, 0) << run.output;
    const QJsonObject period = parsedJson(run.output).object()["period"].toObject();
    EXPECT_EQ(period["first"].toString(), "2026-12-01");
    EXPECT_EQ(period["last"].toString(), "2026-12-31");
    EXPECT_EQ(period["length"].toInt(), 31);
    EXPECT_EQ(period["today"].toInt(), 14);
    const QJsonArray traffic = period["traffic"].toArray();
    ASSERT_EQ(traffic.size(), 3);
    const QJsonObject peak = traffic[0].toObject();
    EXPECT_EQ(peak["name"].toString(), QString::fromUtf8("Peak, \"fast\"\xef\xbf\xbd"));
    EXPECT_EQ(peak["quota_mb"].toInt(), 25000);
    EXPECT_EQ(peak["pace_bytes"].toInteger(), 806'451'613); // 25,000 MB over 31 days
    const QJsonArray days = peak["days"].toArray();
    ASSERT_EQ(days.size(), 15);
    EXPECT_EQ(days[3].toObject()["date"].toString(), "2026-12-04");
    EXPECT_EQ(days[3].toObject()["used_bytes"].toDouble(), 48 * 15e6);
    EXPECT_TRUE(days[3].toObject()["sampled"].toBool());

    run = vantlectl("history --csv");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<std::string> rows = lines(run.output);
    ASSERT_EQ(rows.size(), 1u + 3 * 15);
    EXPECT_EQ(rows[0], "date,classification,name,used_bytes,used_mb,sampled");
    EXPECT_EQ(rows[4], "2026-12-04,peak,\"Peak, \"\"fast\"\"\xff\",720000000,720,yes");

    run = vantlectl("history");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("Period 2026-12-01 to 2026-12-31, day 15 of 31\n"));
    EXPECT_THAT(run.output, testing::ContainsRegex("\n2026-12-04 +720 MB +240 MB +48 MB\n"));
}

TEST_F(VantlectlHistory, PrintsTheLatestPeriodsTotals) {
    keepHistory();
    Outcome run = vantlectl("history --periods 2 --json");
    ASSERT_EQ(run.status, 0) << run.output;
    const QJsonArray periods = parsedJson(run.output).object()["periods"].toArray();
    ASSERT_EQ(periods.size(), 2);
    EXPECT_TRUE(periods[0].toObject()["current"].toBool());
    const QJsonObject november = periods[1].toObject();
    EXPECT_FALSE(november["current"].toBool());
    EXPECT_EQ(november["first"].toString(), "2026-11-01");
    EXPECT_EQ(november["last"].toString(), "2026-11-30");
    const QJsonObject offpeak = november["traffic"].toArray()[1].toObject();
    EXPECT_EQ(offpeak["classification"].toString(), "offpeak");
    EXPECT_EQ(offpeak["used_bytes"].toDouble(), 30 * 48 * 5e6); // every poll of November
    EXPECT_EQ(offpeak["quota_mb"].toInt(), 50000);

    // More periods than the history holds gives those it has.
    run = vantlectl("history --periods 12 --csv");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<std::string> rows = lines(run.output);
    ASSERT_EQ(rows.size(), 1u + 3 * 3);
    EXPECT_EQ(rows[0], "first,last,current,classification,name,used_bytes,used_mb,quota_mb");
    EXPECT_EQ(rows[8], "2026-10-01,2026-10-31,no,offpeak,Off Peak,7440000000,7440,50000");

    run = vantlectl("history --periods 3");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("2026-10-01 to 2026-10-31\n"));
    EXPECT_THAT(run.output, HasSubstr("  Off Peak             7,440 MB of 50,000 MB (15%)\n"));
}

TEST_F(VantlectlHistory, AnEmptyHistoryAndWrongArguments) {
    struct Case {
        std::string arguments;
        int status;
        std::string output;
    };
    const Case cases[] = {
        {"history", 0, "No history yet"},
        {"history --json", 0, "{\"period\":null}\n"},
        {"history --periods 4 --json", 0, "{\"periods\":[]}\n"},
        {"history --csv", 0, "date,classification"},
        {"history --periods 0", 1, "vantlectl history: --periods needs a count from 1 to 1000"},
        {"history --periods x", 1, "vantlectl history: --periods needs a count"},
        {"history --json --csv", 1, "vantlectl history: takes one of --json and --csv"},
        {"history --days", 1, "vantlectl history: unknown argument \"--days\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Outcome run = vantlectl(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_THAT(run.output, testing::StartsWith(c.output));
    }
    // A damaged database is said, not taken for an empty one.
    test::writeFile(database, std::string(4096, 'x'));
    const Outcome run = vantlectl("history");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("vantlectl history: The usage history " + database));
}
