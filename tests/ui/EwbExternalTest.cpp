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
#include <QTcpServer>
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
                        "probe('remote', '" +
                        remote +
                        "/x.png');"
                        "fetch('" +
                        remote + "/f').catch(function () {});");
    ASSERT_TRUE(test::waitFor([&] { return eval("Object.keys(r).length") == "3"; }));
    EXPECT_EQ(eval("r.inside + '|' + r.outside + '|' + r.remote"), "loaded|refused|refused");

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
