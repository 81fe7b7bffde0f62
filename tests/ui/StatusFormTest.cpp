// The status window in the real engine: the page built from status documents, the updated text,
// failures handed to the reporter, input that must change nothing, and the page discarded while
// the window is hidden.
#include "ui/status_form.h"

#include "PageTestSupport.h"
#include "QtPrinters.h"
#include "config/configuration.h"
#include "history/historyJson.h"
#include "history/historyRecorder.h"
#include "lib/runtime/DateTime.h"
#include "outputs/StatusDocumentText.h"
#include "outputs/generate_json.h"
#include "outputs/generate_pies.h"
#include "outputs/textHelpers.h"
#include "support/TestSupport.h"
#include "ui/EwbExternal.h"
#include "usage/failures.h"
#include "usage/iinet.h"
#include "usage/lastFailure.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QHostAddress>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QNetworkDatagram>
#include <QScreen>
#include <QUdpSocket>
#include <QWebEngineView>
#include <QWheelEvent>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <exception>
#include <string>
#include <vector>

using namespace vantle;
using testing::HasSubstr;

namespace {

const QString Names = QStringLiteral("Array.from(document.getElementById('content').rows[0].cells)"
                                     ".map(c => c.querySelector('.name').textContent).join('|')");
const QString Account = QStringLiteral("Array.from(document.getElementById('account').rows)"
                                       ".map(r => r.cells[0].textContent + '=' + "
                                       "r.cells[1].textContent).join('|')");
const QString Content = QStringLiteral("document.getElementById('content').innerHTML");

class StatusFormTest : public testing::Test {
protected:
    test::ScopedUserFolders home;
    Tconfiguration configuration;
    std::vector<std::string> reports;
    TstatusFrm form{configuration, [this](const std::exception_ptr& failure) {
                        try {
                            std::rethrow_exception(failure);
                        } catch (const std::exception& e) {
                            reports.emplace_back(e.what());
                        }
                    }};

    // The module made the view; its engine parts are reached through the class's inline
    // accessors.
    QWebEngineView& view() { return *static_cast<TEwbExternalBrowser*>(form.browser())->view(); }
    QWebEnginePage& page() { return *view().page(); }
    QWidget& renderWidget() { return *view().focusProxy(); }

    void writeStatus(const std::string& text) { test::writeFile(configuration.statusFile, text); }

    // Shows the window and waits until the page has been handed the document.
    void showLoaded() {
        form.show();
        ASSERT_NE(form.browser(), nullptr);
        ASSERT_TRUE(test::waitFor(
            [&] { return form.browser()->ReadyState() == TpageView::ReadyStateComplete; }));
    }

    QString eval(const QString& expression) { return test::text(page(), expression); }
};

} // namespace

TEST_F(StatusFormTest, HiddenWithoutEngineAndSizedByColumns) {
    EXPECT_EQ(form.windowTitle(), "vantle");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.browser(), nullptr);
    EXPECT_FALSE(form.updatedTimer().isActive());
    writeStatus(test::statusText({{"A", "a"}, {"B", "b"}, {"C", "c"}}));
    form.Reload(); // no page yet: nothing happens, nothing fails
    EXPECT_EQ(form.browser(), nullptr);
    EXPECT_TRUE(reports.empty());

    // However many types a document lists, the window fits the screen.
    const int screen = QGuiApplication::primaryScreen()->availableGeometry().width();
    ASSERT_GE(screen, 570);
    const std::pair<int, int> widths[] = {{-1, 380},      {0, 380},         {1, 380},
                                          {2, 380},       {3, 570},         {16, screen},
                                          {2000, screen}, {1 << 30, screen}};
    for (const auto& [n, width] : widths) {
        SCOPED_TRACE(n);
        form.SetColumns(n);
        EXPECT_EQ(form.width(), std::min(width, screen));
        EXPECT_EQ(form.frameGeometry().height(), 460);
    }
}

TEST_F(StatusFormTest, ShowsTheGeneratedDocument) {
    // 2026-03-03 10:00:00, twelve days before the reset.
    constexpr TDateTime Now = 46084.0 + 10.0 / 24;
    test::ScopedClock clock(Now);
    test::writeFile(configuration.dataFolder + "iinet-current.xml",
                    test::readFile(VANTLE_FIXTURES "/usage/sample.xml"));
    configuration.setUpdateTime(Now - 30.5 / 1440);
    Tiinet usage(configuration);
    usage.load();
    generatePies(configuration, usage);
    generateJson(configuration, usage);
    showLoaded();

    EXPECT_EQ(eval("document.getElementById('content').rows.length"), "3");
    EXPECT_EQ(eval(Names), "Peak|Off Peak");
    EXPECT_EQ(eval("Array.from(document.querySelectorAll('td.traffic'))"
                   ".map(c => c.vAlign).join('|')"),
              "top|top");
    EXPECT_EQ(eval("document.querySelector('img.pie').src"),
              QString::fromStdString(fileUrl(configuration.htmlFolder + "peak.png")));
    EXPECT_EQ(eval("Array.from(document.querySelectorAll('.stats'))[0].innerText"
                   ".replace(/\\s+/g, ' ')"),
              "Used 11,250 MB Unused 13,750 MB Limit 25,000 MB");
    EXPECT_EQ(eval(Account), "Current=Peak|Reset=15th Mar (in 12 days) (60%)|"
                             "Freezone=1,235 MB|Offpeak Times=2am to 8am");
    // Under each pie, where its month is heading.
    EXPECT_EQ(eval("Array.from(document.querySelectorAll('td.traffic')[0]"
                   ".querySelectorAll('.pace')).map(p => p.textContent).join('|')"),
              "45 % used, 61 % of the month gone: on track|At this rate: 18,326 MB by 15th Mar|"
              "Left per day: 1,187 MB");
    EXPECT_EQ(eval("document.getElementById('updated').textContent"), "Updated 30 minutes ago");
    EXPECT_EQ(eval("document.getElementById('warning-div').className"), "hidden");
    EXPECT_EQ(form.width(), 380);
    EXPECT_TRUE(reports.empty());

    // The pies come from the page's own folder.
    ASSERT_TRUE(test::waitFor([&] {
        return eval("Array.from(document.images).every(i => !i.classList.contains('pie') || "
                    "i.naturalWidth == 160)") == "true";
    }));
    test::settle(300);
    const QImage capture = form.grab().toImage();
    QDir().mkpath(VANTLE_ARTEFACTS);
    ASSERT_TRUE(capture.save(VANTLE_ARTEFACTS "/status-window.png"));
    EXPECT_EQ(capture.width(), 380);
    EXPECT_NE(capture.pixelColor(95, 100), capture.pixelColor(5, 5)); // a pie, on white
}

TEST_F(StatusFormTest, TheLastFailureStandsForTheWaitTextThenUnderTheUpdateTime) {
    // 2026-03-03 10:00:00; the attempt failed at 09:55.
    constexpr TDateTime Now = 46084.0 + 10.0 / 24;
    test::ScopedClock clock(Now);
    const std::string said = "The last update failed at 09:55: " +
                             std::string(failureSentence(TfailureKind::unreachable));
    writeLastFailure(configuration, {Now - 5.0 / 1440, TfailureKind::unreachable,
                                     std::string(failureSentence(TfailureKind::unreachable)),
                                     "Could not resolve host"});
    showLoaded();
    // Before any usage has come, the failure says why there is none instead of a wait for ever.
    EXPECT_EQ(eval("document.getElementById('wait').textContent").toStdString(), said);
    EXPECT_EQ(eval("document.getElementById('failure-div').className"), "hidden");

    writeStatus(test::statusText({{"Peak", "peak"}}));
    form.Reload();
    EXPECT_EQ(eval("document.getElementById('failure-div').className"), "");
    EXPECT_EQ(eval("document.getElementById('failure').textContent").toStdString(), said);
    // Placed right under the update time.
    EXPECT_EQ(eval("document.getElementById('content').nextElementSibling.id"), "failure-div");

    clearLastFailure(configuration);
    form.Reload();
    EXPECT_EQ(eval("document.getElementById('failure-div').className"), "hidden");
    EXPECT_TRUE(reports.empty());
}

TEST_F(StatusFormTest, LaysOutEachDocument) {
    writeStatus(test::statusText({{"A", "a"}}));
    showLoaded();
    struct Case {
        const char* why;
        std::string text;
        QString expression;
        QString expected;
        int width;
    };
    const Case cases[] = {
        {"no freezone row without a value", test::statusText({{"Peak", "peak"}}), Account,
         "Current=Peak|Reset=15th Mar (in 12 days) (60%)|Offpeak Times=2am to 8am", 380},
        {"freezone row with one", test::statusText({{"Peak", "peak"}}, "", "7 MB"), Account,
         "Current=Peak|Reset=15th Mar (in 12 days) (60%)|Freezone=7 MB|Offpeak Times=2am to 8am",
         380},
        {"empty traffic list: empty first row", test::statusText({}),
         "document.getElementById('content').rows[0].cells.length + '|' + "
         "document.getElementById('account').rows.length",
         "0|3", 380},
        {"three columns", test::statusText({{"A", "a"}, {"B", "b"}, {"C", "c"}}), Names, "A|B|C",
         570},
        {"values escaped", test::statusText({{"<i>x</i> & \"y\"", "x", "<b>1</b>"}}),
         "document.querySelector('.name').textContent + '|' + "
         "document.querySelector('.stats td').textContent + '|' + "
         "document.querySelectorAll('#content i, #content b').length",
         "<i>x</i> & \"y\"|<b>1</b>|0", 380},
        {"error text exactly as written",
         test::statusText({{"A", "a"}}, "Say \"hi\" to O'Brien\\home\r\nnext\tline"),
         "document.getElementById('warning-div').className + '|' + "
         "document.getElementById('warning').textContent",
         "|Say \"hi\" to O'Brien\\home\r\nnext\tline", 380},
        {"error text placed as text, markup and all",
         test::statusText({{"A", "a"}}, "<b>Locked</b> & 'out'"),
         "document.querySelectorAll('#warning *').length + '|' + "
         "document.getElementById('warning').textContent",
         "0|<b>Locked</b> & 'out'", 380},
        {"no error hides the warning again", test::statusText({{"A", "a"}}),
         "document.getElementById('warning-div').className", "hidden", 380},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        writeStatus(c.text);
        form.Reload();
        EXPECT_EQ(eval(c.expression), c.expected);
        EXPECT_EQ(form.width(), c.width);
        EXPECT_EQ(form.frameGeometry().height(), 460);
    }
    EXPECT_TRUE(reports.empty());
}

// However many types a document lists, the window stays on the screen and the page scrolls.
TEST_F(StatusFormTest, ManyTypesKeepTheWindowOnTheScreen) {
    std::vector<test::TstatusType> types;
    for (int i = 0; i < 16; ++i) {
        const std::string number = std::to_string(i);
        types.push_back({"Type " + number, "t" + number});
    }
    writeStatus(test::statusText({{"A", "a"}}));
    showLoaded();
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    form.move(free.right() - 300, free.top() + 10);
    writeStatus(test::statusText(types));
    form.Reload();
    EXPECT_GT(form.width(), free.width() - 20); // as wide as the screen lets it be
    EXPECT_TRUE(free.contains(form.frameGeometry())) << form.frameGeometry().x();
    EXPECT_EQ(eval("document.querySelectorAll('td.traffic').length"), "16");
    EXPECT_EQ(eval("document.getElementById('content').offsetWidth > window.innerWidth"), "true");
    EXPECT_TRUE(reports.empty());
}

// Provider texts built to run script, and one that would then open a peer connection: the page
// shows them as written, nothing runs, and the listener on loopback hears nothing.
TEST_F(StatusFormTest, ProviderTextRunsNothing) {
    QUdpSocket listener;
    ASSERT_TRUE(listener.bind(QHostAddress::LocalHost, 0));
    int datagrams = 0;
    QObject::connect(&listener, &QUdpSocket::readyRead, [&] {
        while (listener.hasPendingDatagrams()) {
            listener.receiveDatagram();
            ++datagrams;
        }
    });
    const std::string probe =
        "window.ran = 1; var p = new RTCPeerConnection({iceServers: [{urls: 'stun:127.0.0.1:" +
        std::to_string(listener.localPort()) +
        "'}]}); p.createDataChannel('x'); p.createOffer().then(o => p.setLocalDescription(o));";
    const std::string error = "Login failed<img src=\"x\" onerror=\"" + probe +
                              "\"><svg onload=\"window.ran = 2\"></svg>"
                              "<script>window.ran = 3</script>"
                              "<iframe srcdoc=\"<script>parent.ran = 4</script>\"></iframe>"
                              "<a href=\"javascript:window.ran = 5\" id=\"go\">go</a>";
    writeStatus(test::statusText({{"<img src=\"y\" onerror=\"window.ran = 6\">", "a"}}, error));
    showLoaded();
    form.Reload();
    test::settle(2000);
    EXPECT_EQ(eval("typeof window.ran"), "undefined");
    EXPECT_EQ(eval("document.getElementById('warning').textContent"),
              QString::fromStdString(error));
    EXPECT_EQ(eval("document.querySelectorAll('#warning *, #content img:not(.pie)').length"), "0");
    EXPECT_EQ(datagrams, 0);
    EXPECT_TRUE(reports.empty());
}

// Before the first poll the page has no updated text to refresh: showing it and two minutes of
// the timer's ticks report nothing (each report would be a crash report, kept 28 days).
TEST_F(StatusFormTest, WaitTextBeforeTheFirstPollAndNothingReportedForItsTimer) {
    showLoaded();
    EXPECT_EQ(eval("document.getElementById('content').rows.length + '|' + "
                   "document.getElementById('wait').textContent"),
              "1|Please wait, retrieving usage information...");
    EXPECT_TRUE(form.updatedTimer().isActive());
    EXPECT_EQ(form.updatedTimer().interval(), 60000);
    for (int minute = 1; minute <= 2; ++minute)
        form.updatedTimerTimer();
    EXPECT_EQ(eval("document.getElementById('wait').textContent"),
              "Please wait, retrieving usage information...");
    EXPECT_THAT(reports, testing::IsEmpty());

    // A script failure leaves the page as it was.
    writeStatus("{\"error\":");
    form.Reload();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(eval("document.getElementById('wait').textContent"),
              "Please wait, retrieving usage information...");

    form.hide();
    EXPECT_FALSE(form.updatedTimer().isActive());
}

TEST_F(StatusFormTest, UpdatedTextOnShowingAndEachMinute) {
    writeStatus(test::statusText({{"A", "a"}}));
    configuration.setUpdateTime(runtime::now() - 90.5 / 1440);
    showLoaded();
    EXPECT_EQ(eval("document.getElementById('updated').textContent"),
              "Updated 1 hour, 30 minutes ago");
    configuration.setUpdateTime(runtime::now() - 3.5 / 1440);
    form.updatedTimerTimer();
    EXPECT_EQ(eval("document.getElementById('updated').textContent"), "Updated 3 minutes ago");
    EXPECT_TRUE(reports.empty());
}

TEST_F(StatusFormTest, ShortcutsMenusDropsAndRefreshChangeNothing) {
    writeStatus(test::statusText({{"A", "a"}, {"B", "b"}}, "err"));
    showLoaded();
    int refreshes = 0;
    form.browser()->OnRefresh = [&, window = form.browser()->OnRefresh](bool* cancel) {
        ++refreshes;
        window(cancel);
    };
    form.browser()->ExecScript("window.keys = 0;"
                               "document.addEventListener('keydown', function () { keys++; });");
    const QString before = eval(Content);
    const QUrl address = page().url();

    for (const Qt::Key key : {Qt::Key_A, Qt::Key_F, Qt::Key_P, Qt::Key_N}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::ControlModifier);
        QApplication::sendEvent(&renderWidget(), &press);
        QApplication::sendEvent(&renderWidget(), &release);
    }
    QKeyEvent altPress(QEvent::KeyPress, Qt::Key_Left, Qt::AltModifier);
    QApplication::sendEvent(&renderWidget(), &altPress);

    const QPoint at(100, 100);
    QMouseEvent press(QEvent::MouseButtonPress, at, renderWidget().mapToGlobal(at), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, renderWidget().mapToGlobal(at),
                        Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&renderWidget(), &press);
    QApplication::sendEvent(&renderWidget(), &release);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, renderWidget().mapToGlobal(at));
    QApplication::sendEvent(&renderWidget(), &menu);

    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(QString::fromStdString(configuration.configFile))});
    for (QWidget* target : {&renderWidget(), static_cast<QWidget*>(&view())}) {
        QDragEnterEvent enter(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        QDropEvent drop(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }

    // Ctrl + wheel, as a touchpad's pinch also arrives, would zoom the page.
    for (const int delta : {120, -120, 120}) {
        QWheelEvent wheel(QPointF(at), renderWidget().mapToGlobal(QPointF(at)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(&renderWidget(), &wheel);
    }

    page().triggerAction(QWebEnginePage::Reload);
    form.browser()->ExecScript("location.reload()");
    test::settle(800);
    EXPECT_EQ(page().zoomFactor(), 1.0);

    EXPECT_EQ(eval(Content), before);
    EXPECT_EQ(page().url(), address);
    EXPECT_EQ(eval("String(keys) + '|' + window.getSelection().toString()"), "0|");
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_GE(refreshes, 1);
    EXPECT_EQ(form.browser()->ReadyState(), TpageView::ReadyStateComplete);

    // Plain keys still reach the page.
    QKeyEvent plain(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QApplication::sendEvent(&renderWidget(), &plain);
    EXPECT_TRUE(test::waitFor([&] { return eval("String(keys)") == "1"; }, 5000));
    EXPECT_TRUE(reports.empty());
}

TEST_F(StatusFormTest, StaysCentredWhateverTheNumberOfColumns) {
    writeStatus(test::statusText({{"A", "a"}, {"B", "b"}, {"C", "c"}}));
    showLoaded(); // shown with two columns, widened to three by the document
    EXPECT_EQ(form.width(), 570);
    const QPoint centre = form.screen()->availableGeometry().center();
    EXPECT_LE((form.frameGeometry().center() - centre).manhattanLength(), 2);
}

TEST_F(StatusFormTest, HiddenDiscardsThePageAndShowingLoadsTheCurrentDocument) {
    writeStatus(test::statusText({{"Before", "a"}}));
    showLoaded();
    ASSERT_EQ(eval(Names), "Before");
    const qint64 renderer = page().renderProcessPid();
    ASSERT_GT(renderer, 0);

    form.hide();
    EXPECT_FALSE(form.browser()->isLive());
    EXPECT_EQ(page().lifecycleState(), QWebEnginePage::LifecycleState::Discarded);
    EXPECT_EQ(form.browser()->ReadyState(), TpageView::ReadyStateUninitialized);
    EXPECT_TRUE(test::waitFor([&] { return ::kill(static_cast<pid_t>(renderer), 0) != 0; }));

    writeStatus(test::statusText({{"After", "a"}, {"Second", "b"}, {"Third", "c"}}));
    form.Reload();
    EXPECT_FALSE(form.browser()->isLive());

    showLoaded();
    EXPECT_TRUE(form.browser()->isLive());
    EXPECT_TRUE(test::waitFor([&] { return eval(Names) == "After|Second|Third"; }));
    EXPECT_EQ(form.width(), 570);
    EXPECT_TRUE(reports.empty());
}

// The usage history below the current figures: "No history yet" before the poll wrote any, then
// per type with a quota a bar for each day with data, as high as its use, the quota's pace, and
// the periods' totals; the chart fits the window whatever the number of columns.
TEST_F(StatusFormTest, ShowsTheHistoryChartAndPeriods) {
    writeStatus(test::statusText({{"Peak", "peak"}, {"Off Peak", "offpeak"}}));
    showLoaded();
    EXPECT_EQ(eval("document.getElementById('history').textContent"), "No history yet");

    constexpr std::int64_t MB = 1'000'000;
    const auto day = [](int d) {
        return static_cast<Tday>(runtime::encodeDateTime({2026, 12, 1})) + d;
    };
    TquotaPeriod november{day(-30), day(-1), true, day(-1), {}};
    november.traffic = {{"peak", "Peak", 20'250 * MB, 31'000, {}},
                        {"offpeak", "Off Peak", 1'200 * MB, 62'000, {}}};
    TquotaPeriod december{day(0), day(30), true, day(4), {}};
    // Peak: 31,000 MB over 31 days paces 1,000 MB a day; the third day lay between two polls.
    december.traffic = {
        {"peak",
         "Peak",
         3'500 * MB,
         31'000,
         {{day(0), 500 * MB, true},
          {day(1), 2'000 * MB, true},
          {day(2), 1'000 * MB, false},
          {day(4), 0, true}}},
        {"offpeak",
         "Off Peak",
         300 * MB,
         62'000,
         {{day(1), 100 * MB, true}, {day(4), 200 * MB, true}}},
        {"freezone", "Freezone", 9 * MB, -1, {{day(4), 9 * MB, true}}},
    };
    test::writeFile(historyChartFile(configuration), historyChartDocument({november, december}));
    form.Reload();

    const QString peakBars =
        "Array.from(document.querySelectorAll('[data-classification=peak] rect'))";
    // One chart per type with a quota; one bar per day with data, placed on its day.
    EXPECT_EQ(eval("Array.from(document.querySelectorAll('.history-chart'))"
                   ".map(c => c.querySelector('.history-name').textContent).join('|')"),
              "Peak by day|Off Peak by day");
    EXPECT_EQ(eval(peakBars + ".map(r => r.getAttribute('x') + ':' + r.getAttribute('class'))"
                              ".join('|')"),
              "0.1:bar|1.1:bar|2.1:bar estimated|4.1:bar");
    // Heights in hundredths of the scale, 2,000 MB (the highest day) and 15 % above.
    const QString heights = eval(peakBars + ".map(r => Number(r.getAttribute('height'))"
                                            ".toFixed(3)).join('|')");
    EXPECT_EQ(heights, "21.739|86.957|43.478|0.000");
    EXPECT_EQ(eval("Number(document.querySelector('[data-classification=peak] line.pace')"
                   ".getAttribute('y1')).toFixed(3)"),
              "56.522");
    EXPECT_EQ(eval("document.querySelector('[data-classification=peak] .history-pace')"
                   ".textContent"),
              "pace 1,000 MB a day");
    // As drawn: the tallest bar takes its share of the chart's 64 pixels.
    EXPECT_EQ(eval("Math.round(document.querySelectorAll('[data-classification=peak] rect')[1]"
                   ".getBoundingClientRect().height)"),
              "56");
    EXPECT_EQ(eval("Array.from(document.getElementById('history-periods').rows)"
                   ".map(r => Array.from(r.cells).map(c => c.textContent).join(',')).join('|')"),
              QString::fromUtf8("Period,Peak,Off Peak|"
                                "1 Dec \u2013 31 Dec,3,500 of 31,000 MB,300 of 62,000 MB|"
                                "1 Nov \u2013 30 Nov,20,250 of 31,000 MB,1,200 of 62,000 MB"));

    // The chart spans the window's width at two columns and at three, and never more.
    for (int columns : {2, 3}) {
        SCOPED_TRACE(columns);
        std::vector<test::TstatusType> types = {{"Peak", "peak"}, {"Off Peak", "offpeak"}};
        if (columns == 3)
            types.push_back({"Bonus", "bonus"});
        writeStatus(test::statusText(types));
        form.Reload();
        ASSERT_TRUE(test::waitFor(
            [&] { return eval("window.innerWidth") == QString::number(columns * 190); }));
        // The page scrolls down to the history: its bar takes some of the width.
        EXPECT_EQ(eval("Math.round(document.querySelector('.history-bars')"
                       ".getBoundingClientRect().width) + 20 == "
                       "document.documentElement.clientWidth"),
                  "true");
        EXPECT_EQ(eval("document.documentElement.scrollWidth <= "
                       "document.documentElement.clientWidth"),
                  "true");
    }
    writeStatus(test::statusText({{"Peak", "peak"}, {"Off Peak", "offpeak"}}));
    form.Reload();
    ASSERT_TRUE(test::waitFor([&] { return eval("window.innerWidth") == "380"; }));
    EXPECT_TRUE(reports.empty());

    // A provider's type name is shown as text, never as markup.
    december.traffic[0].name = "<b>Peak</b><img src=\"x\" onerror=\"window.ran = 1\">";
    test::writeFile(historyChartFile(configuration), historyChartDocument({november, december}));
    form.Reload();
    EXPECT_EQ(eval("document.querySelectorAll('#history b, #history img').length + '|' + "
                   "document.querySelector('.history-name').textContent + '|' + typeof window.ran"),
              "0|<b>Peak</b><img src=\"x\" onerror=\"window.ran = 1\"> by day|undefined");
    december.traffic[0].name = "Peak";
    test::writeFile(historyChartFile(configuration), historyChartDocument({november, december}));
    form.Reload();
    EXPECT_TRUE(reports.empty());

    // For a person to look at: the history scrolled into view.
    eval("document.getElementById('history').scrollIntoView(false), ''");
    test::settle(500);
    QDir().mkpath(VANTLE_ARTEFACTS);
    ASSERT_TRUE(form.grab().toImage().save(VANTLE_ARTEFACTS "/status-history.png"));
}
