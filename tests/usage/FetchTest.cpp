// The usage fetch against vantle-sim, the providers' stand-in, on loopback.
#include "usage/iinet.h"

#include "config/configuration.h"
#include "lib/runtime/Error.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "usage/providers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using namespace vantle;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

namespace fs = std::filesystem;

namespace {

class FetchTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    Tconfiguration c;
    test::TempDir logs;
    std::string log = logs.file("requests.log");

    std::string current() const { return c.dataFolder + std::string(CurrentDocumentName); }
    std::string lastGood() const { return c.dataFolder + std::string(LastGoodDocumentName); }

    // A stand-in with the given faults; the account is demo/demo on the first provider.
    std::unique_ptr<test::RunningSim> start(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.end(), {"--static", "--log", log});
        auto sim = std::make_unique<test::RunningSim>(VANTLE_SIM, arguments);
        c.domain = std::string(IinetDomain);
        c.providers[c.domain] = sim->urlTemplate;
        c.username = "demo";
        c.password = "demo";
        return sim;
    }

    std::string requests() const { return fs::exists(log) ? test::readFile(log) : ""; }

    std::string fetchFailure() {
        Tiinet usage(c);
        try {
            usage.fetch();
        } catch (const Error& e) {
            return e.what();
        }
        return "(no failure)";
    }
};

} // namespace

TEST_F(FetchTest, StoresTheDocumentTwiceAndLoadsIt) {
    const auto sim = start();
    Tiinet usage(c);
    usage.fetch();
    EXPECT_THAT(usage.trafficTypes(), ElementsAre("peak", "offpeak", "freezone"));
    EXPECT_EQ(usage.error, "");
    EXPECT_GT(usage.daysSoFar + usage.daysRemaining, 27);
    EXPECT_EQ(test::readFile(current()), test::readFile(lastGood()));
    EXPECT_THAT(requests(), HasSubstr("GET /cgi-bin/new/volume_usage_xml.cgi?action=login"
                                      "&username=demo&password=*** 200"));
}

TEST_F(FetchTest, EncodesTheCredentialsIntoTheQuery) {
    const auto sim = start();
    c.username = "john smith";
    c.password = "open sesame/42";
    Tiinet usage(c);
    usage.fetch(); // the stand-in checks the decoded password
    EXPECT_EQ(usage.error, "");
    EXPECT_THAT(requests(), HasSubstr("?action=login&username=john+smith&password=***"));
}

TEST_F(FetchTest, BuiltInEndpointsAndTheUserAgent) {
    c.domain = "westnet.com.au";
    EXPECT_EQ(endpointTemplate(c), "https://toolbox.westnet.com.au/cgi-bin/new/"
                                   "volume_usage_xml.cgi?action=login&username=%USERNAME%"
                                   "&password=%PASSWORD%");
    c.domain = "iinet.net.au";
    EXPECT_THAT(endpointTemplate(c), testing::StartsWith("https://toolbox.iinet.net.au/"));
    EXPECT_EQ(userAgent(c), "www.vantle.example/vantle v" + c.versionText());
}

TEST_F(FetchTest, AnUnsupportedDomainFailsWithoutAnyRequest) {
    const auto sim = start();
    for (const char* domain : {"IINET.NET.AU", "iinet.net", ""}) {
        SCOPED_TRACE(domain);
        c.domain = domain;
        c.providers[c.domain] = sim->urlTemplate; // an override does not make it supported
        EXPECT_EQ(fetchFailure(), std::string("Unsupported domain: ") + domain);
    }
    EXPECT_EQ(requests(), "");
    EXPECT_FALSE(fs::exists(current()));
}

TEST_F(FetchTest, AnErrorAnswerKeepsTheLastGoodDocument) {
    const auto sim = start();
    Tiinet(c).fetch();
    const std::string good = test::readFile(lastGood());
    c.password = "wrong";
    Tiinet usage(c);
    usage.fetch();
    EXPECT_EQ(usage.error, "Authentication failed");
    EXPECT_THAT(usage.trafficTypes(), ElementsAre("peak", "offpeak", "freezone"));
    EXPECT_EQ(test::readFile(lastGood()), good);
    EXPECT_THAT(test::readFile(current()), HasSubstr("Authentication failed"));
}

TEST_F(FetchTest, AnErrorAnswerAtTheFirstFetchFails) {
    const auto sim = start();
    c.password = "wrong";
    EXPECT_EQ(fetchFailure(), "The provider answered: Authentication failed");
    EXPECT_THAT(test::readFile(current()), HasSubstr("Authentication failed"));
    EXPECT_FALSE(fs::exists(lastGood()));
}

TEST_F(FetchTest, NoFaultOfTheServiceLosesTheStoredDocuments) {
    struct Case {
        const char* fault;
        const char* message;
    };
    const Case cases[] = {
        {"500", "500 Internal Server Error"},
        {"503", "503 Service Unavailable"},
        {"not-xml", "The provider's answer is not a usage document"},
        {"empty", "The provider's answer is not a usage document: No document element found"},
        {"truncated", "transfer closed"},
        {"truncated-xml", "The provider's answer is not a usage document"},
        {"redirect", nullptr}, // followed to a good answer
    };
    // Good documents from a first request, then the fault for every later one.
    for (const Case& k : cases) {
        SCOPED_TRACE(k.fault);
        const auto sim =
            start({"--fault", std::string(k.fault) + "@2", "--fault", std::string(k.fault) + "@3"});
        Tiinet(c).fetch();
        const std::string good = test::readFile(lastGood());
        EXPECT_THAT(fetchFailure(), HasSubstr(k.message ? k.message : "(no failure)"));
        EXPECT_EQ(test::readFile(lastGood()), good);
        EXPECT_EQ(test::readFile(current()), good);
    }
}

TEST_F(FetchTest, AServiceErrorDocumentIsStoredAsCurrentOnly) {
    const auto sim = start({"--fault", "error@2"});
    Tiinet(c).fetch();
    const std::string good = test::readFile(lastGood());
    Tiinet usage(c);
    usage.fetch();
    EXPECT_EQ(usage.error, "Service temporarily unavailable");
    EXPECT_EQ(test::readFile(lastGood()), good);
    EXPECT_THAT(test::readFile(current()), Not(HasSubstr("<type")));
}

TEST_F(FetchTest, LoadFetchesWhenNothingIsStored) {
    const auto sim = start();
    Tiinet usage(c);
    usage.load();
    EXPECT_TRUE(usage.hasTraffic("peak"));
    EXPECT_TRUE(fs::exists(current()));
    usage.load(); // now from the stored document: no second request
    std::size_t lines = 0;
    for (char ch : requests())
        lines += ch == '\n';
    EXPECT_EQ(lines, 1u);
}
