// The status window's HTML view on its own: the file address, scripts and their errors, and a
// page that reaches nothing beyond its folder. The view comes from the module, as in the program,
// so a script error raised there is caught here as the program's Error.
#include "ui/EwbExternal.h"

#include "PageTestSupport.h"
#include "QtPrinters.h"
#include "config/configuration.h"
#include "lib/runtime/Error.h"
#include "support/TestSupport.h"
#include "ui/pageViewLoader.h"

#include <QHostAddress>
#include <QImage>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QUdpSocket>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

using namespace vantle;

namespace {

class EwbExternalTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    Tconfiguration configuration;
    QWidget host;
    std::unique_ptr<TpageView> made = createPageView(&host);
    // Its engine parts are reached through the class's inline accessors.
    TEwbExternalBrowser* browser = static_cast<TEwbExternalBrowser*>(made.get());

    void SetUp() override { host.resize(380, 460); }

    void load(const std::string& path) {
        browser->NavigateToFile(path);
        host.show();
        ASSERT_TRUE(test::waitFor(
            [&] { return browser->ReadyState() == TEwbExternalBrowser::ReadyStateComplete; }));
    }

    QString eval(const QString& expression) {
        return test::text(*browser->view()->page(), expression);
    }

    // The message ExecScript raised; nullopt when it ran.
    std::optional<std::string> failure(const std::string& code) {
        try {
            browser->ExecScript(code);
            return std::nullopt;
        } catch (const Error& e) {
            return std::string(e.what());
        }
    }
};

} // namespace

TEST_F(EwbExternalTest, AddressOfAPathWithSpacesHashesAndPercents) {
    EXPECT_EQ(browser->ReadyState(), TEwbExternalBrowser::ReadyStateUninitialized);
    EXPECT_EQ(failure("throw new Error('no page yet')"), std::nullopt); // nothing loaded: no-op

    const std::string folder = configuration.dataFolder + "a b#c%20d/";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(configuration.htmlFolder + "status.html", folder + "status.html");
    load(folder + "status.html");
    EXPECT_EQ(browser->address().toLocalFile().toStdString(), folder + "status.html");
    EXPECT_EQ(browser->view()->page()->url(), browser->address());
    EXPECT_EQ(eval("typeof load"), "function");
}

TEST_F(EwbExternalTest, ExecScriptRunsTheStatementOrRaisesItsError) {
    load(configuration.htmlFolder + "status.html");
    struct Case {
        std::string code;
        std::optional<std::string> error;
    };
    const Case cases[] = {
        {"var v = 'a\\\\b\\'c\"d\\n' + \"\\u00e9\"", std::nullopt},
        {"w = 1; w += 1", std::nullopt},
        {"throw new Error('boom')", "boom"},
        {"throw 'plain text'", "plain text"},
        {"notDefined()", "notDefined is not defined"},
        {"document.getElementById('updated').innerHTML = 'x'",
         "Cannot set properties of null (setting 'innerHTML')"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(failure(c.code), c.error);
    }
    // Statements run in the page's global scope, in order, before ExecScript returns.
    EXPECT_EQ(eval("v + '|' + w"), QString::fromUtf8("a\\b'c\"d\n\u00e9|2"));
    const auto syntax = failure("load(");
    ASSERT_TRUE(syntax.has_value());
    EXPECT_FALSE(syntax->empty());
}

TEST_F(EwbExternalTest, PageReachesNothingBeyondItsFolder) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] { ++connections; });
    QImage dot(4, 4, QImage::Format_RGB32);
    dot.fill(Qt::red);
    ASSERT_TRUE(dot.save(QString::fromStdString(configuration.htmlFolder + "inside.png")));
    ASSERT_TRUE(dot.save(QString::fromStdString(configuration.dataFolder + "outside.png")));
    // A link inside the folder leads where its target lies.
    std::filesystem::create_symlink(configuration.dataFolder + "outside.png",
                                    configuration.htmlFolder + "link.png");
    load(configuration.htmlFolder + "status.html");

    const std::string remote = "http://127.0.0.1:" + std::to_string(server.serverPort());
    browser->ExecScript("window.r = {};"
                        "function probe(name, src) {"
                        "  var i = new Image();"
                        "  i.onload = function () { r[name] = 'loaded'; };"
                        "  i.onerror = function () { r[name] = 'refused'; };"
                        "  i.src = src;"
                        "}"
                        "probe('inside', 'inside.png');"
                        "probe('outside', '../outside.png');"
                        "probe('link', 'link.png');"
                        "probe('remote', '" +
                        remote +
                        "/x.png');"
                        "fetch('" +
                        remote + "/f').catch(function () {});");
    ASSERT_TRUE(test::waitFor([&] { return eval("Object.keys(r).length") == "4"; }));
    EXPECT_EQ(eval("r.inside + '|' + r.outside + '|' + r.link + '|' + r.remote"),
              "loaded|refused|refused|refused");

    // Neither links nor new windows take the page anywhere.
    const QUrl address = browser->view()->page()->url();
    browser->ExecScript("window.opened = window.open('status.html');"
                        "location.href = '../outside.png';");
    test::settle(500);
    EXPECT_EQ(browser->view()->page()->url(), address);
    EXPECT_EQ(eval("String(window.opened)"), "null");
    EXPECT_EQ(connections, 0);
    EXPECT_EQ(browser->ReadyState(), TEwbExternalBrowser::ReadyStateComplete);
}

// A page script that tries every connection the request interceptor does not see: a peer
// connection with a STUN server (UDP) and a TURN server over TCP on loopback, a WebSocket and an
// event source. In the page's own frame the means are gone; taken from a fresh frame they run,
// and still nothing reaches either listener.
TEST_F(EwbExternalTest, NoScriptInThePageReachesTheNetwork) {
    QUdpSocket udp;
    ASSERT_TRUE(udp.bind(QHostAddress::LocalHost, 0));
    int datagrams = 0;
    QObject::connect(&udp, &QUdpSocket::readyRead, [&] {
        while (udp.hasPendingDatagrams()) {
            udp.receiveDatagram();
            ++datagrams;
        }
    });
    QTcpServer tcp;
    ASSERT_TRUE(tcp.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&tcp, &QTcpServer::newConnection, [&] { ++connections; });

    // window.rtc ends as "offered" once the connection gathered its candidates; "threw ..." when
    // the means were not there.
    const QString probe =
        QStringLiteral(
            "window.rtc = 'started';"
            "try {"
            "  var pc = new (window.Peer || RTCPeerConnection)({iceServers: ["
            "    {urls: 'stun:127.0.0.1:%1'},"
            "    {urls: 'turn:127.0.0.1:%2?transport=tcp', username: 'u', credential: 'p'}]});"
            "  pc.createDataChannel('probe');"
            "  pc.onicegatheringstatechange = function () {"
            "    if (pc.iceGatheringState == 'complete') window.rtc = 'offered';"
            "  };"
            "  pc.createOffer().then(function (o) { return pc.setLocalDescription(o); });"
            "} catch (e) { window.rtc = 'threw ' + e.name; }"
            "try { new WebSocket('ws://127.0.0.1:%2/'); window.ws = 'made'; }"
            "catch (e) { window.ws = 'threw ' + e.name; }"
            "try { new EventSource('http://127.0.0.1:%2/'); window.es = 'made'; }"
            "catch (e) { window.es = 'threw ' + e.name; }")
            .arg(udp.localPort())
            .arg(tcp.serverPort());
    load(configuration.htmlFolder + "status.html");

    browser->ExecScript(probe.toStdString());
    EXPECT_EQ(eval("window.rtc + '|' + window.ws + '|' + window.es"),
              "threw TypeError|threw TypeError|threw TypeError");

    // A frame of the page's own gets the engine's untouched means; they work, and go nowhere.
    browser->ExecScript("var f = document.createElement('iframe');"
                        "document.body.appendChild(f);"
                        "window.Peer = f.contentWindow.RTCPeerConnection;");
    ASSERT_EQ(eval("typeof window.Peer"), "function");
    browser->ExecScript(probe.toStdString());
    EXPECT_TRUE(test::waitFor([&] { return eval("window.rtc") == "offered"; }));
    test::settle(3000);
    EXPECT_EQ(datagrams, 0);
    EXPECT_EQ(connections, 0);
}
