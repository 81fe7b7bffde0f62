// vantle-sim run as a real process on loopback, asked with a real HTTP(S) client.
#include "config/configuration.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "usage/httpClient.h"
#include "usage/iinet.h"
#include "vantle-sim/usageDocument.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using namespace vantle;
using testing::HasSubstr;
using testing::StartsWith;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A running vantle-sim and requests to its endpoint with the credentials encoded as the program
// encodes them.
class Sim {
public:
    explicit Sim(const std::vector<std::string>& arguments)
        : running(VANTLE_SIM, arguments)
        , process(running.process)
        , urlTemplate(running.urlTemplate)
        , base(running.base)
        , target(running.target) {}

    // The request target for those credentials.
    std::string targetFor(const std::string& username, const std::string& password) const {
        std::string t = target;
        t.replace(t.find("%USERNAME%"), 10, urlEncode(username));
        t.replace(t.find("%PASSWORD%"), 10, urlEncode(password));
        return t;
    }

    // A client that sends the target as given: cpp-httplib would otherwise turn the "+" of an
    // encoded space into "%2B".
    std::unique_ptr<httplib::Client> client(const std::string& url = {}) const {
        auto c = std::make_unique<httplib::Client>(url.empty() ? base : url);
        c->set_url_encode(false);
        c->set_connection_timeout(2);
        c->set_read_timeout(5);
        return c;
    }

    httplib::Result get(const std::string& username = "demo",
                        const std::string& password = "demo") const {
        return client()->Get(targetFor(username, password).c_str());
    }

    test::RunningSim running;
    test::SimProcess& process;
    std::string urlTemplate;
    std::string base;   // scheme, host and port
    std::string target; // path and query, with the placeholders
};

pugi::xml_node rootOf(pugi::xml_document& doc, const std::string& body) {
    doc.load_string(body.c_str());
    return doc.document_element();
}

std::string textAt(const pugi::xml_node& root, const char* path) {
    return root.first_element_by_path(path).text().get();
}

pugi::xml_node typeOf(const pugi::xml_node& root, const char* classification) {
    return root.first_element_by_path("volume_usage/expected_traffic_types")
        .find_child_by_attribute("type", "classification", classification);
}

long long usedOf(const std::string& body, const char* classification) {
    pugi::xml_document doc;
    return typeOf(rootOf(doc, body), classification).attribute("used").as_llong(-1);
}

} // namespace

TEST(VantleSim, PrintsTheEndpointTemplateAndStopsOnSignals) {
    for (const int number : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(number);
        Sim sim({});
        EXPECT_THAT(sim.urlTemplate,
                    testing::MatchesRegex("http://127\\.0\\.0\\.1:[0-9]+/cgi-bin/new/"
                                          "volume_usage_xml\\.cgi\\?action=login&"
                                          "username=%USERNAME%&password=%PASSWORD%"));
        sim.process.signal(number);
        EXPECT_EQ(sim.process.wait(), 0);
    }
}

TEST(VantleSim, AGivenPortIsNotShared) {
    Sim first({});
    const std::string port = first.base.substr(first.base.rfind(':') + 1);
    test::SimProcess second(VANTLE_SIM, {"--port", port});
    EXPECT_EQ(second.wait(), 1);
    EXPECT_THAT(second.errors(), HasSubstr("cannot listen on 127.0.0.1:" + port));
    EXPECT_TRUE(first.get());
}

TEST(VantleSim, DemoDocumentHasWhatTheProgramReads) {
    Sim sim({"--static"});
    const httplib::Result res = sim.get();
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, 200);
    EXPECT_THAT(res->get_header_value("Content-Type"), HasSubstr("xml"));

    pugi::xml_document doc;
    const pugi::xml_node root = rootOf(doc, res->body);
    ASSERT_TRUE(root) << res->body;
    EXPECT_FALSE(root.child("error"));
    EXPECT_FALSE(textAt(root, "account_info/plan").empty());
    EXPECT_FALSE(textAt(root, "account_info/product").empty());
    EXPECT_EQ(textAt(root, "volume_usage/offpeak_start"), "02:00");
    EXPECT_EQ(textAt(root, "volume_usage/offpeak_end"), "08:00");
    EXPECT_EQ(textAt(root, "volume_usage/quota_reset/anniversary"), "14");
    const int soFar = std::stoi(textAt(root, "volume_usage/quota_reset/days_so_far"));
    const int remaining = std::stoi(textAt(root, "volume_usage/quota_reset/days_remaining"));
    EXPECT_EQ(sim::quotaPeriod(14, runtime::decodeDateTime(runtime::now())),
              (sim::TquotaPeriod{soFar, remaining}));

    for (const char* classification : {"peak", "offpeak"}) {
        SCOPED_TRACE(classification);
        const pugi::xml_node type = typeOf(root, classification);
        ASSERT_TRUE(type);
        EXPECT_GT(type.attribute("used").as_llong(), 0);
        EXPECT_EQ(std::string(type.child("name").text().get()), classification);
        EXPECT_GT(type.child("quota_allocation").text().as_llong(), 0);
        EXPECT_STREQ(type.child("is_shaped").text().get(), "false");
        EXPECT_GT(type.child("is_shaped").attribute("speed").as_int(), 0);
    }
    const pugi::xml_node freezone = typeOf(root, "freezone");
    ASSERT_TRUE(freezone);
    EXPECT_GT(freezone.attribute("used").as_llong(), 0);
    EXPECT_FALSE(freezone.child("quota_allocation"));

    // The program's own reader takes the same view of it.
    test::ScopedUserFolders home;
    Tconfiguration configuration;
    const std::string current = configuration.dataFolder + std::string(CurrentDocumentName);
    test::writeFile(current, res->body);
    Tiinet usage(configuration);
    usage.load(current, configuration.dataFolder + std::string(LastGoodDocumentName));
    EXPECT_EQ(usage.error, "");
    EXPECT_EQ(usage.trafficTypes(), (std::vector<std::string>{"peak", "offpeak", "freezone"}));
    EXPECT_EQ(usage.offpeakStart, 120);
    EXPECT_EQ(usage.offpeakEnd, 480);
    EXPECT_EQ(usage.findTraffic("peak").usedMB, 11250);
    EXPECT_EQ(usage.findTraffic("offpeak").quotaMB, 35000);
    EXPECT_EQ(usage.findTraffic("freezone").quotaMB, -1);
}

TEST(VantleSim, UsageGrowsWithTimeUnlessStatic) {
    Sim growing({});
    Sim fixed({"--static"});
    const auto before = growing.get();
    const auto fixedBefore = fixed.get();
    std::this_thread::sleep_for(milliseconds(100));
    const auto after = growing.get();
    const auto fixedAfter = fixed.get();
    ASSERT_TRUE(before && after && fixedBefore && fixedAfter);
    EXPECT_GT(usedOf(after->body, "peak"), usedOf(before->body, "peak"));
    EXPECT_GT(usedOf(after->body, "freezone"), usedOf(before->body, "freezone"));
    EXPECT_EQ(fixedAfter->body, fixedBefore->body);
}

TEST(VantleSim, AnswersCredentialsWithTheDocumentOrTheError) {
    Sim sim({"--static"});
    struct Case {
        std::string username;
        std::string password;
        bool known;
    };
    const Case cases[] = {
        {"demo", "demo", true},
        {"john smith", "open sesame/42", true}, // "+", "%2F" and encoded digits on the way
        {"shaped", "shaped", true},
        {"demo", "Demo", false},
        {"demo", "", false},
        {"john smith", "open sesame/4", false},
        {"nobody", "demo", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.username + " / " + c.password);
        const httplib::Result res = sim.get(c.username, c.password);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        pugi::xml_document doc;
        const pugi::xml_node root = rootOf(doc, res->body);
        EXPECT_EQ(textAt(root, "error"), c.known ? "" : sim::AuthenticationFailed);
        EXPECT_EQ(bool(typeOf(root, "peak")), c.known);
    }

    // The over-quota account reads as shaped on its peak type only.
    pugi::xml_document doc;
    const pugi::xml_node root = rootOf(doc, sim.get("shaped", "shaped")->body);
    EXPECT_STREQ(typeOf(root, "peak").child("is_shaped").text().get(), "true");
    EXPECT_STREQ(typeOf(root, "offpeak").child("is_shaped").text().get(), "false");

    const httplib::Result wrongAction =
        sim.client()->Get("/cgi-bin/new/volume_usage_xml.cgi?action=logout&username=demo");
    ASSERT_TRUE(wrongAction);
    EXPECT_EQ(wrongAction->status, 400);
}

TEST(VantleSim, AccountsFileReplacesTheBuiltInSetButKeepsDemo) {
    test::TempDir dir;
    const std::string accounts = dir.file("accounts.txt");
    test::writeFile(accounts, "# test accounts\n"
                              "[jane doe]\n"
                              "password = s3cret & <more>\n"
                              "plan = Home <Max>\n"
                              "anniversary = 31\n"
                              "peak_quota = 1000\n"
                              "peak_used = 999999999\n"
                              "offpeak_quota = 0\n"
                              "\n"
                              "[bare]\r\n"
                              "password=x\r\n");
    Sim sim({"--static", "--accounts", accounts});

    pugi::xml_document doc;
    pugi::xml_node root = rootOf(doc, sim.get("jane doe", "s3cret & <more>")->body);
    EXPECT_EQ(textAt(root, "account_info/plan"), "Home <Max>");
    EXPECT_EQ(textAt(root, "account_info/product"), "Naked DSL"); // the default
    EXPECT_EQ(textAt(root, "volume_usage/quota_reset/anniversary"), "31");
    const pugi::xml_node peak = typeOf(root, "peak");
    EXPECT_EQ(peak.attribute("used").as_llong(), 999999999);
    EXPECT_EQ(peak.child("quota_allocation").text().as_llong(), 1000);
    EXPECT_STREQ(peak.child("is_shaped").text().get(), "false");
    EXPECT_STREQ(typeOf(root, "offpeak").child("quota_allocation").text().get(), "0");

    for (const auto& [username, password, known] :
         {std::tuple{"bare", "x", true}, std::tuple{"demo", "demo", true},
          std::tuple{"shaped", "shaped", false}}) {
        SCOPED_TRACE(username);
        root = rootOf(doc, sim.get(username, password)->body);
        EXPECT_EQ(textAt(root, "error").empty(), known);
    }
}

TEST(VantleSim, QuotaPeriodCountsFromTheAnniversary) {
    struct Case {
        int anniversary;
        runtime::DateTimeFields today;
        sim::TquotaPeriod period;
    };
    const Case cases[] = {
        {14, {2024, 3, 20}, {6, 25}},
        {14, {2024, 3, 14}, {0, 31}},
        {14, {2024, 3, 13}, {28, 1}}, // from 14 February of a leap year
        {1, {2023, 12, 31}, {30, 1}},
        {15, {2024, 1, 10}, {26, 5}}, // from 15 December of the year before
        {31, {2023, 2, 28}, {0, 31}}, // February has no 31st: it resets on the 28th
        {31, {2023, 3, 1}, {1, 30}},
        {31, {2023, 4, 30}, {0, 31}},
        {30, {2024, 2, 29}, {0, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.anniversary) + " on " + std::to_string(c.today.year) + "-" +
                     std::to_string(c.today.month) + "-" + std::to_string(c.today.day));
        EXPECT_EQ(sim::quotaPeriod(c.anniversary, c.today), c.period);
    }
}

TEST(VantleSim, NumberedFaultsAnswerAsNamed) {
    test::TempDir dir;
    const std::string answerFile = dir.file("answer.xml");
    Sim sim({"--static",
             "--fault",
             "500@1",
             "--fault",
             "503@2",
             "--fault",
             "not-xml@3",
             "--fault",
             "empty@4",
             "--fault",
             "truncated@5",
             "--fault",
             "truncated-xml@6",
             "--fault",
             "redirect@7",
             "--fault",
             "redirect=http://localhost:9/elsewhere?x=1@8",
             "--fault",
             "error@9",
             "--fault",
             "answer=" + answerFile + "@10"});
    // Read at the request, so a test can write it after the start.
    test::writeFile(answerFile, std::string("<a>\0</a>", 9));
    const std::string whole = [&] {
        Sim plain({"--static"});
        return plain.get()->body;
    }();

    const auto expectNoRoot = [](const std::string& body) {
        pugi::xml_document doc;
        EXPECT_FALSE(rootOf(doc, body)) << body;
    };
    struct Case {
        const char* fault;
        int status; // 0: the transfer fails
        std::function<void(const httplib::Response&)> check;
    };
    const Case cases[] = {
        {"500", 500, [&](const auto& r) { expectNoRoot(r.body); }},
        {"503", 503, [&](const auto& r) { expectNoRoot(r.body); }},
        {"not-xml", 200,
         [&](const auto& r) {
             EXPECT_THAT(r.body, HasSubstr("<html"));
             expectNoRoot(r.body);
         }},
        {"empty", 200, [](const auto& r) { EXPECT_EQ(r.body, ""); }},
        {"truncated", 0, nullptr},
        {"truncated-xml", 200,
         [&](const auto& r) {
             EXPECT_EQ(r.body, whole.substr(0, whole.size() / 2));
             pugi::xml_document doc;
             EXPECT_NE(doc.load_string(r.body.c_str()).status, pugi::status_ok);
         }},
        {"redirect", 302,
         [&](const auto& r) {
             EXPECT_EQ(r.get_header_value("Location"), sim.base + sim.targetFor("demo", "demo"));
         }},
        {"redirect=URL", 302,
         [](const auto& r) {
             EXPECT_EQ(r.get_header_value("Location"), "http://localhost:9/elsewhere?x=1");
         }},
        {"error", 200,
         [](const auto& r) {
             pugi::xml_document doc;
             EXPECT_EQ(textAt(rootOf(doc, r.body), "error"), sim::ServiceUnavailable);
         }},
        {"answer=FILE", 200,
         [](const auto& r) {
             EXPECT_EQ(r.body, std::string("<a>\0</a>", 9));
             EXPECT_EQ(r.get_header_value("Content-Type"), "text/xml");
         }},
        {"none after the numbered ones", 200, [&](const auto& r) { EXPECT_EQ(r.body, whole); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const httplib::Result res = sim.get();
        if (c.status == 0) {
            EXPECT_FALSE(res);
            continue;
        }
        ASSERT_TRUE(res) << httplib::to_string(res.error());
        EXPECT_EQ(res->status, c.status);
        c.check(*res);
    }
}

TEST(VantleSim, FaultWithoutNumberAppliesToEveryOtherRequest) {
    Sim sim({"--static", "--fault", "error", "--fault", "empty@2"});
    for (const char* expected : {"error", "", "error"}) {
        SCOPED_TRACE(expected);
        const httplib::Result res = sim.get();
        ASSERT_TRUE(res);
        pugi::xml_document doc;
        EXPECT_EQ(std::string(expected).empty(), res->body.empty());
        if (!res->body.empty()) {
            EXPECT_EQ(textAt(rootOf(doc, res->body), "error"), sim::ServiceUnavailable);
        }
    }

    // A redirect for every request sends a following client round in circles.
    Sim loop({"--fault", "redirect"});
    auto client = loop.client();
    client->set_follow_location(true);
    EXPECT_FALSE(client->Get(loop.targetFor("demo", "demo").c_str()));
}

TEST(VantleSim, StallOutlastsTheClientButNotTheServer) {
    test::TempDir dir;
    const std::string log = dir.file("requests.log");
    Sim sim({"--static", "--fault", "stall@1", "--log", log});
    auto client = sim.client();
    client->set_read_timeout(1);
    auto started = Clock::now();
    const httplib::Result stalled = client->Get(sim.targetFor("demo", "demo").c_str());
    EXPECT_FALSE(stalled);
    EXPECT_EQ(stalled.error(), httplib::Error::Read);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));
    EXPECT_THAT(test::readFile(log), HasSubstr("password=*** stalled\n"));

    // Other requests go on while one is held, and a stop does not wait for it.
    const httplib::Result next = sim.get();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->status, 200);
    started = Clock::now();
    sim.process.signal(SIGTERM);
    EXPECT_EQ(sim.process.wait(), 0);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
}

TEST(VantleSim, TrickleAnnouncesTheDocumentAndSendsAByteASecond) {
    Sim sim({"--static", "--fault", "trickle"});
    auto client = sim.client();
    std::string received;
    std::size_t announced = 0;
    const auto started = Clock::now();
    const httplib::Result res = client->Get(
        sim.targetFor("demo", "demo").c_str(),
        [&](const httplib::Response& r) {
            announced = std::stoul(r.get_header_value("Content-Length"));
            return true;
        },
        [&](const char* data, std::size_t length) {
            received.append(data, length);
            return Clock::now() - started < std::chrono::milliseconds(2500);
        });
    EXPECT_FALSE(res); // ended here, long before the document was whole
    EXPECT_GT(announced, 500u);
    EXPECT_THAT(received, StartsWith("<?"));
    EXPECT_LT(received.size(), 10u);
}

TEST(VantleSim, HttpsWithItsOwnCertificate) {
    test::TempDir dir;
    const std::string written = dir.file("sim.pem");
    Sim sim({"--static", "--https", "--cert-out", written});
    EXPECT_THAT(sim.urlTemplate, StartsWith("https://127.0.0.1:"));
    EXPECT_EQ(sim.process.nextLine(), written);

    const std::string port = sim.base.substr(sim.base.rfind(':'));
    for (const std::string host : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(host);
        auto trusting = sim.client("https://" + host + port);
        trusting->set_ca_cert_path(written.c_str());
        trusting->enable_server_certificate_verification(true);
        const httplib::Result res = trusting->Get(sim.targetFor("demo", "demo").c_str());
        ASSERT_TRUE(res) << httplib::to_string(res.error());
        EXPECT_THAT(res->body, HasSubstr("<expected_traffic_types>"));
    }

    // The system's store does not know the certificate.
    auto untrusting = sim.client();
    untrusting->enable_server_certificate_verification(true);
    const httplib::Result refused = untrusting->Get(sim.targetFor("demo", "demo").c_str());
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error(), httplib::Error::SSLServerVerification);

    // Without --cert-out the certificate lives in a temporary folder until the process ends.
    std::string temporary;
    {
        Sim other({"--https"});
        temporary = other.process.nextLine();
        EXPECT_TRUE(std::filesystem::is_regular_file(temporary)) << temporary;
        other.process.signal(SIGTERM);
        EXPECT_EQ(other.process.wait(), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(temporary).parent_path()));
}

TEST(VantleSim, HttpsWithAGivenCertificateAndKey) {
    test::TempDir dir;
    const std::string cert = dir.file("cert.pem");
    const std::string key = dir.file("key.pem");
    const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost"
                             " -addext subjectAltName=IP:127.0.0.1 -keyout " +
                             key + " -out " + cert + " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "the openssl command is not available";

    Sim sim({"--static", "--https", "--cert", cert, "--key", key});
    EXPECT_EQ(sim.process.nextLine(), cert);
    auto client = sim.client();
    client->set_ca_cert_path(cert.c_str());
    client->enable_server_certificate_verification(true);
    const httplib::Result res = client->Get(sim.targetFor("demo", "demo").c_str());
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, 200);
}

TEST(VantleSim, LogsEveryRequestWithThePasswordMasked) {
    test::TempDir dir;
    const std::string log = dir.file("requests.log");
    Sim sim({"--static", "--log", log});
    EXPECT_EQ(test::readFile(log), ""); // there from the start, so "no request" can be read

    ASSERT_TRUE(sim.get("demo", "demo"));
    ASSERT_TRUE(sim.get("john smith", "top secret 99"));
    ASSERT_TRUE(sim.client()->Get("/elsewhere?password=hidden&x=1"));

    const std::string lines = test::readFile(log);
    const std::string time = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} ";
    EXPECT_THAT(lines,
                testing::ContainsRegex("^" + time +
                                       "GET /cgi-bin/new/volume_usage_xml\\.cgi\\?action=login&"
                                       "username=demo&password=\\*\\*\\* 200\n"));
    EXPECT_THAT(lines, HasSubstr("&username=john+smith&password=*** 200\n"));
    EXPECT_THAT(lines, HasSubstr("GET /elsewhere?password=***&x=1 404\n"));
    for (const char* secret : {"password=demo", "top", "secret", "%39", "hidden"})
        EXPECT_THAT(lines, testing::Not(HasSubstr(secret)));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 3);
    EXPECT_THAT(sim.process.errors(), testing::Not(HasSubstr("GET ")));
}

TEST(VantleSim, BadArgumentsExitWithStatus2) {
    test::TempDir dir;
    const std::string badAccounts = dir.file("bad.txt");
    test::writeFile(badAccounts, "[x]\npassword = y\nanniversary = 32\n");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        {{"--bogus"}, "unknown argument \"--bogus\""},
        {{"--port"}, "--port needs a value"},
        {{"--port", "65536"}, "--port needs a number from 0 to 65535"},
        {{"--port", "8o"}, "--port needs a number"},
        {{"--fault", "teapot"}, "unknown fault \"teapot\""},
        {{"--fault", "500@0"}, "must be 1 or more"},
        {{"--fault", "500", "--fault", "503"}, "only one fault may apply to every request"},
        {{"--fault", "500@2", "--fault", "503@2"}, "request 2 has two faults"},
        {{"--fault", "redirect=http://192.0.2.1/"}, "must be an http or https URL on 127.0.0.1"},
        {{"--fault", "redirect=http://127.0.0.1@192.0.2.1/"}, "must be an http or https URL"},
        {{"--cert", "c.pem", "--key", "k.pem"}, "need --https"},
        {{"--https", "--cert", "c.pem"}, "--cert and --key go together"},
        {{"--https", "--cert", dir.file("none.pem"), "--key", dir.file("none.key")},
         "cannot serve HTTPS with the certificate"},
        {{"--accounts", dir.file("none.txt")}, "cannot read the accounts file"},
        {{"--accounts", badAccounts}, badAccounts + ":3: anniversary must be a whole number"},
        {{"--log", badAccounts + "/log"}, "cannot open the log file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        test::SimProcess run(VANTLE_SIM, c.arguments);
        EXPECT_EQ(run.nextLine(), "");
        EXPECT_EQ(run.wait(), 2);
        EXPECT_THAT(run.errors(), StartsWith("vantle-sim: "));
        EXPECT_THAT(run.errors(), HasSubstr(c.message));
    }

    test::SimProcess help(VANTLE_SIM, {"--help"});
    EXPECT_THAT(help.nextLine(), StartsWith("Usage: vantle-sim"));
    EXPECT_EQ(help.wait(), 0);
}
