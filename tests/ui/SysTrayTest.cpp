// The tray icon component over a recording notification area: its requests and records, the
// mouse logic, menus, icons, animation, balloons and the hiding of the application.
#include "ui/sysTray.h"

#include "lib/runtime/Error.h"
#include "support/TestSupport.h"
#include "ui/recordingTrayBackend.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vantle {
namespace {

using enum TTrayVisibility;
using test::TrecordingTrayBackend;
using Request = TrecordingTrayBackend::Request;
using testing::ElementsAre;
using testing::HasSubstr;

const QPoint Cursor(120, 80);
constexpr std::uint32_t OldShell = 0x40000;

QIcon solidIcon(QColor color) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    return QIcon(QPixmap::fromImage(image));
}

QImage picture(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

QColor centre(const QIcon& icon) {
    return picture(icon).pixelColor(8, 8);
}

struct Click {
    TMouseButton button;
    int x;
    int y;
    friend bool operator==(const Click&, const Click&) = default;
};

// Closes a menu as soon as it has opened, noting where.
struct MenuWatch {
    explicit MenuWatch(QMenu& watched)
        : menu(watched) {
        QObject::connect(&menu, &QMenu::aboutToShow, &menu, [this] {
            QTimer::singleShot(0, &menu, [this] {
                openedAt.push_back(menu.pos());
                menu.close();
            });
        });
    }
    QMenu& menu;
    std::vector<QPoint> openedAt;
};

class SysTrayTest : public testing::Test {
protected:
    SysTrayTest() {
        QCursor::setPos(Cursor);
        reset();
    }

    void reset() {
        tray = std::make_unique<TzintraSysTray>(
            std::make_unique<TrecordingTrayBackend>(settings, requests));
        tray->OnClick = [this](TzintraSysTray&, TMouseButton button, TShiftState, int x, int y) {
            clicks.push_back({button, x, y});
        };
    }

    // Activates and forgets the requests of the activation.
    void activate() {
        tray->SetActive(true);
        requests.clear();
    }

    std::intptr_t callback(std::uint32_t notification) {
        return test::sendMessage(tray.get(), WM_TRAYCALLBACK, 1, notification);
    }
    void click(std::uint32_t down = WM_LBUTTONDOWN, std::uint32_t up = WM_LBUTTONUP) {
        callback(down);
        callback(up);
    }

    QTimer& timer(const char* name) {
        auto* found = tray->findChild<QTimer*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return *found;
    }
    // Runs what the timer runs when it fires, without waiting for it.
    void fire(const char* name) { QMetaObject::invokeMethod(&timer(name), "timeout"); }

    std::vector<std::uint32_t> messages() const {
        std::vector<std::uint32_t> list;
        for (const Request& r : requests)
            list.push_back(r.message);
        return list;
    }

    TrecordingTrayBackend::Settings settings;
    std::vector<Request> requests;
    std::unique_ptr<TzintraSysTray> tray;
    std::vector<Click> clicks;
};

TEST_F(SysTrayTest, ActivationAddsTheIconOnceWithItsRecord) {
    tray->SetHint(QStringLiteral("vantle"));
    tray->SetActive(true);
    tray->SetActive(true);
    ASSERT_THAT(messages(), ElementsAre(NIM_ADD, NIM_SETVERSION));
    const TnotifyIconData& added = requests[0].data;
    EXPECT_EQ(added.cbSize, 488u);
    EXPECT_EQ(added.hWnd, tray.get());
    EXPECT_EQ(added.uID, 1u);
    EXPECT_EQ(added.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    EXPECT_EQ(added.uCallbackMessage, 0x0401u);
    EXPECT_EQ(added.szTip, QStringLiteral("vantle"));
    EXPECT_EQ(picture(added.hIcon), picture(TzintraSysTray::programIcon()));
    EXPECT_EQ(requests[1].data.uFlags, 0u);
    EXPECT_EQ(requests[1].data.uVersion, NOTIFYICON_VERSION);

    requests.clear();
    tray->SetActive(false);
    tray->SetActive(false);
    ASSERT_THAT(messages(), ElementsAre(NIM_DELETE));
    EXPECT_EQ(requests[0].data.uFlags, 0u);

    // Each activation adds again; destruction takes the icon away.
    tray->SetActive(true);
    requests.clear();
    tray.reset();
    EXPECT_THAT(messages(), ElementsAre(NIM_DELETE));
}

TEST_F(SysTrayTest, TipIsTheHintBeforeTheBarCutToTheAreasLimit) {
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80"); // one character, two units
    struct Case {
        QString hint;
        std::uint32_t version;
        QString storedHint;
        QString tip;
    };
    const Case cases[] = {
        {QString(200, 'a'), 0x60000, QString(200, 'a'), QString(127, 'a')},
        {QString(200, 'a'), OldShell, QString(200, 'a'), QString(63, 'a')},
        {"Peak 50%|used 500 MB", 0x60000, "Peak 50%|used 500 MB", "Peak 50%"},
        {"|after", 0x60000, "|after", ""},
        {"Peak\r\n50%", 0x60000, "Peak\r\n50%", "Peak\r\n50%"},
        {"Peak\r\n50%", OldShell, "Peak - 50%", "Peak - 50%"},
        {QString(126, 'a') + smile, 0x60000, QString(126, 'a') + smile, QString(126, 'a')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hint.left(30).toStdString() + " on " + std::to_string(c.version));
        settings.version = c.version;
        reset();
        requests.clear();
        tray->SetHint(c.hint);
        EXPECT_EQ(tray->Hint(), c.storedHint);
        tray->SetActive(true);
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests[0].data.szTip, c.tip);
    }
    // Areas before 5.0 know no version request.
    EXPECT_THAT(messages(), ElementsAre(NIM_ADD, NIM_SETVERSION));
    settings.version = OldShell;
    reset();
    requests.clear();
    tray->SetActive(true);
    EXPECT_THAT(messages(), ElementsAre(NIM_ADD));
}

TEST_F(SysTrayTest, ChangedHintReachesTheAreaOnTheNextMouseMove) {
    std::vector<QPoint> moves;
    tray->OnMouseMove = [&](TzintraSysTray&, TShiftState, int x, int y) {
        moves.emplace_back(x, y);
    };
    tray->SetHint(QStringLiteral("old"));
    activate();
    tray->SetHint(QStringLiteral("Peak 50%|details"));
    EXPECT_TRUE(requests.empty());

    callback(WM_MOUSEMOVE);
    ASSERT_THAT(messages(), ElementsAre(NIM_MODIFY));
    EXPECT_EQ(requests[0].data.uFlags, NIF_TIP);
    EXPECT_EQ(requests[0].data.szTip, QStringLiteral("Peak 50%"));
    EXPECT_THAT(moves, ElementsAre(Cursor));

    // The same hint again changes nothing.
    tray->SetHint(QStringLiteral("Peak 50%|details"));
    callback(WM_MOUSEMOVE);
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(moves.size(), 2u);
}

TEST_F(SysTrayTest, WithoutMouseMovesAChangedHintGoesToTheAreaAtOnce) {
    settings.mouseMoves = false;
    tray->SetHint(QStringLiteral("before"));
    tray->SetActive(true);
    EXPECT_EQ(requests.at(0).data.szTip, QStringLiteral("before"));
    requests.clear();

    tray->SetHint(QStringLiteral("after|more"));
    ASSERT_THAT(messages(), ElementsAre(NIM_MODIFY));
    EXPECT_EQ(requests[0].data.uFlags, NIF_TIP);
    EXPECT_EQ(requests[0].data.szTip, QStringLiteral("after"));
    tray->SetHint(QStringLiteral("after|more"));
    EXPECT_EQ(requests.size(), 1u);
}

TEST_F(SysTrayTest, ClickFiresOnTheUpAndADoubleClickRunsTheDefaultItem) {
    QMenu menu;
    menu.addAction(QStringLiteral("About vantle"));
    QAction* open = menu.addAction(QStringLiteral("Open"));
    menu.setDefaultAction(open);
    int opened = 0;
    QObject::connect(open, &QAction::triggered, [&] { ++opened; });
    tray->SetPopupMenu(&menu);
    MenuWatch watch(menu);
    activate();

    callback(WM_LBUTTONDOWN);
    EXPECT_TRUE(clicks.empty());
    callback(WM_LBUTTONUP);
    EXPECT_THAT(clicks, ElementsAre(Click{TMouseButton::mbLeft, Cursor.x(), Cursor.y()}));

    // The rest of a double-click: the double-click message, then an up without a down.
    callback(WM_LBUTTONDBLCLK);
    callback(WM_LBUTTONUP);
    EXPECT_EQ(clicks.size(), 1u);
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(watch.openedAt.empty());

    // A double-click of another button runs nothing.
    callback(WM_RBUTTONDBLCLK);
    EXPECT_EQ(opened, 1);
}

TEST_F(SysTrayTest, RightButtonClicksOnTheUpAndTheMenuOpensOnTheContextMessage) {
    QMenu menu;
    menu.addAction(QStringLiteral("Exit"));
    tray->SetPopupMenu(&menu);
    MenuWatch watch(menu);
    activate();

    click(WM_RBUTTONDOWN, WM_RBUTTONUP);
    EXPECT_THAT(clicks, ElementsAre(Click{TMouseButton::mbRight, Cursor.x(), Cursor.y()}));
    EXPECT_TRUE(watch.openedAt.empty());

    callback(WM_CONTEXTMENU);
    EXPECT_THAT(watch.openedAt, ElementsAre(Cursor));
    callback(NIN_KEYSELECT);
    EXPECT_EQ(watch.openedAt.size(), 2u);

    // A handler that takes the request keeps the menu closed.
    std::vector<QPoint> asked;
    tray->OnContextPopup = [&](TzintraSysTray&, QPoint at, bool& handled) {
        EXPECT_FALSE(handled);
        asked.push_back(at);
        handled = true;
    };
    callback(WM_CONTEXTMENU);
    EXPECT_THAT(asked, ElementsAre(Cursor));
    EXPECT_EQ(watch.openedAt.size(), 2u);
}

TEST_F(SysTrayTest, OnAreasBefore5TheMenuOpensOnTheRightUp) {
    settings.version = OldShell;
    reset();
    QMenu menu;
    menu.addAction(QStringLiteral("Exit"));
    tray->SetPopupMenu(&menu);
    MenuWatch watch(menu);
    activate();

    click(WM_RBUTTONDOWN, WM_RBUTTONUP);
    EXPECT_EQ(clicks.size(), 1u);
    EXPECT_THAT(watch.openedAt, ElementsAre(Cursor));
}

TEST_F(SysTrayTest, WithOnDblClickASingleClickWaitsForTheDoubleClickTime) {
    std::vector<Click> doubles;
    tray->OnDblClick = [&](TzintraSysTray&, TMouseButton button, TShiftState, int x, int y) {
        doubles.push_back({button, x, y});
    };
    activate();

    click();
    EXPECT_TRUE(clicks.empty());
    EXPECT_TRUE(timer("clickTimer").isActive());
    EXPECT_EQ(timer("clickTimer").interval(), QApplication::doubleClickInterval());
    fire("clickTimer");
    EXPECT_THAT(clicks, ElementsAre(Click{TMouseButton::mbLeft, Cursor.x(), Cursor.y()}));

    // A double-click within the time drops the waiting click.
    clicks.clear();
    click();
    callback(WM_LBUTTONDBLCLK);
    callback(WM_LBUTTONUP);
    EXPECT_THAT(doubles, ElementsAre(Click{TMouseButton::mbLeft, Cursor.x(), Cursor.y()}));
    EXPECT_FALSE(timer("clickTimer").isActive());
    fire("clickTimer");
    EXPECT_TRUE(clicks.empty());

    // A second click while one waits replaces it; only one click comes.
    click(WM_RBUTTONDOWN, WM_RBUTTONUP);
    const QPoint moved(200, 150);
    QCursor::setPos(moved);
    click();
    fire("clickTimer");
    EXPECT_THAT(clicks, ElementsAre(Click{TMouseButton::mbLeft, moved.x(), moved.y()}));
}

TEST_F(SysTrayTest, LeftClickOpensTheDropDownMenu) {
    QMenu menu;
    menu.addAction(QStringLiteral("Item"));
    tray->OnClick = nullptr;
    tray->OnDblClick = [](TzintraSysTray&, TMouseButton, TShiftState, int, int) {};
    tray->SetDropDownMenu(&menu);
    MenuWatch watch(menu);
    activate();

    // Without OnClick only a left click is worth waiting for: the menu is one.
    click(WM_RBUTTONDOWN, WM_RBUTTONUP);
    EXPECT_FALSE(timer("clickTimer").isActive());
    click();
    ASSERT_TRUE(timer("clickTimer").isActive());
    fire("clickTimer");
    EXPECT_THAT(watch.openedAt, ElementsAre(Cursor));

    // A menu that is gone is forgotten.
    tray->SetDropDownMenu(nullptr);
    {
        QMenu shortLived;
        tray->SetDropDownMenu(&shortLived);
    }
    EXPECT_EQ(tray->DropDownMenu(), nullptr);
}

TEST_F(SysTrayTest, IconIndexTakesPrecedenceWhileValidThenIconThenTheProgramIcon) {
    const QIcon red = solidIcon(Qt::red);
    const QIcon blue = solidIcon(Qt::blue);
    const QIcon green = solidIcon(QColor(0, 128, 0));
    struct Case {
        const char* name;
        QList<QIcon> icons;
        int index;
        QIcon icon;
        std::optional<QColor> shown; // none: the program's icon
    };
    const Case cases[] = {
        {"index in the list", {red, blue}, 1, green, QColor(Qt::blue)},
        {"index past the list", {red, blue}, 2, green, QColor(0, 128, 0)},
        {"negative index", {red}, -1, green, QColor(0, 128, 0)},
        {"no list", {}, 0, green, QColor(0, 128, 0)},
        {"no list, no icon", {}, 0, QIcon(), std::nullopt},
        {"index past the list, no icon", {red}, 5, QIcon(), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        activate();
        tray->SetIcon(c.icon);
        tray->SetIcons(c.icons);
        tray->SetIconIndex(c.index);
        ASSERT_FALSE(requests.empty());
        const TnotifyIconData& last = requests.back().data;
        EXPECT_EQ(requests.back().message, NIM_MODIFY);
        EXPECT_EQ(last.uFlags, NIF_ICON);
        if (c.shown)
            EXPECT_EQ(centre(last.hIcon), *c.shown);
        else
            EXPECT_EQ(picture(last.hIcon), picture(TzintraSysTray::programIcon()));
    }
}

TEST_F(SysTrayTest, SetIconWithNoIconShowsTheProgramIconAndKeepsIcon) {
    const QIcon green = solidIcon(QColor(0, 128, 0));
    tray->SetIcon(green);
    activate();
    tray->SetIcon(nullptr);
    ASSERT_THAT(messages(), ElementsAre(NIM_MODIFY));
    EXPECT_EQ(requests[0].data.uFlags, NIF_ICON);
    EXPECT_EQ(picture(requests[0].data.hIcon), picture(TzintraSysTray::programIcon()));
    EXPECT_EQ(centre(tray->Icon()), QColor(0, 128, 0));

    // The same icon again is shown again.
    tray->SetIcon(green);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(centre(requests[1].data.hIcon), QColor(0, 128, 0));
}

TEST_F(SysTrayTest, IconLoadsFromAFile) {
    test::TempDir dir;
    const QString file = QString::fromStdString(dir.file("startbar.ico"));
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(QColor(0, 0, 200));
    ASSERT_TRUE(image.save(file, "ICO"));
    activate();

    tray->LoadIconFromFile(file);
    ASSERT_THAT(messages(), ElementsAre(NIM_MODIFY));
    EXPECT_EQ(centre(requests[0].data.hIcon), QColor(0, 0, 200));

    test::writeFile(dir.file("broken.ico"), "not an icon");
    for (const std::string& bad : {dir.file("broken.ico"), dir.path() + "missing.ico"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(tray->LoadIconFromFile(QString::fromStdString(bad)), Error);
    }
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(centre(tray->Icon()), QColor(0, 0, 200));
}

TEST_F(SysTrayTest, AnimationCyclesThroughTheIconsWhileTheIconIsShown) {
    tray->SetIcons({solidIcon(Qt::red), solidIcon(Qt::green), solidIcon(Qt::blue)});
    std::vector<int> steps;
    tray->OnAnimate = [&](TzintraSysTray&, int index) { steps.push_back(index); };
    tray->SetAnimated(true);
    EXPECT_FALSE(timer("animationTimer").isActive()); // nothing shown yet

    activate();
    ASSERT_TRUE(timer("animationTimer").isActive());
    EXPECT_EQ(timer("animationTimer").interval(), 100);
    tray->SetDelay(250);
    EXPECT_TRUE(timer("animationTimer").isActive());
    EXPECT_EQ(timer("animationTimer").interval(), 250);

    for (int i = 0; i < 3; ++i)
        fire("animationTimer");
    EXPECT_THAT(steps, ElementsAre(1, 2, 0));
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(centre(requests[0].data.hIcon), QColor(Qt::green));
    EXPECT_EQ(centre(requests[1].data.hIcon), QColor(Qt::blue));
    EXPECT_EQ(centre(requests[2].data.hIcon), QColor(Qt::red));

    tray->SetIconIndex(-4);
    fire("animationTimer");
    EXPECT_EQ(tray->IconIndex(), 0);

    tray->SetActive(false);
    EXPECT_FALSE(timer("animationTimer").isActive());
    // A zero delay would spin: the timer keeps the platform's shortest interval.
    tray->SetDelay(0);
    tray->SetActive(true);
    EXPECT_EQ(timer("animationTimer").interval(), 10);
}

TEST_F(SysTrayTest, BalloonRequestsCarryTitleTextKindAndTimeout) {
    int shown = 0;
    tray->OnBalloonShow = [&](TzintraSysTray&) { ++shown; };
    activate();
    struct Case {
        TBalloonKind kind;
        std::uint32_t flags;
    };
    const Case kinds[] = {{TBalloonKind::bkNone, 0},
                          {TBalloonKind::bkError, 3},
                          {TBalloonKind::bkInfo, 1},
                          {TBalloonKind::bkWarning, 2}};
    for (const Case& c : kinds) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        requests.clear();
        tray->ShowBalloon(QString(100, 't'), QString(300, 'x'), c.kind, 20000, false);
        ASSERT_THAT(messages(), ElementsAre(NIM_MODIFY));
        const TnotifyIconData& data = requests[0].data;
        EXPECT_EQ(data.uFlags, NIF_INFO);
        EXPECT_EQ(data.szInfoTitle, QString(63, 't'));
        EXPECT_EQ(data.szInfo, QString(255, 'x'));
        EXPECT_EQ(data.uTimeout, 20000u);
        EXPECT_EQ(data.dwInfoFlags, c.flags);
    }
    EXPECT_EQ(shown, 4);
    // The area shows a balloon for 10 s at least: a shorter one is hidden by a timer.
    EXPECT_FALSE(timer("balloonTimer").isActive());
    tray->ShowBalloon(QStringLiteral("Title"), QString(), TBalloonKind::bkInfo, 3000, false);
    EXPECT_TRUE(timer("balloonTimer").isActive());
    EXPECT_EQ(timer("balloonTimer").interval(), 3000);
}

TEST_F(SysTrayTest, HideBalloonsSendsOneEmptyRequestMoreThanBalloonsShown) {
    activate();
    tray->ShowBalloon(QStringLiteral("One"), QStringLiteral("first"), TBalloonKind::bkInfo, 20000,
                      false);
    tray->ShowBalloon(QString(), QStringLiteral("second"), TBalloonKind::bkInfo, 20000, false);
    requests.clear();

    tray->HideBalloons();
    ASSERT_EQ(requests.size(), 3u);
    for (const Request& r : requests) {
        EXPECT_EQ(r.message, NIM_MODIFY);
        EXPECT_EQ(r.data.uFlags, NIF_INFO);
        EXPECT_TRUE(r.data.szInfoTitle.isEmpty());
        EXPECT_TRUE(r.data.szInfo.isEmpty());
        EXPECT_EQ(r.data.uTimeout, 5000u);
        EXPECT_EQ(r.data.dwInfoFlags, NIIF_NONE);
    }
    // The counter is back at 0.
    requests.clear();
    tray->HideBalloons();
    EXPECT_EQ(requests.size(), 1u);

    // A short balloon's timer hides it: one balloon, two empty requests.
    tray->ShowBalloon(QStringLiteral("Short"), QString(), TBalloonKind::bkNone, 2000, true);
    requests.clear();
    fire("balloonTimer");
    EXPECT_EQ(requests.size(), 2u);
}

TEST_F(SysTrayTest, BalloonNotifications) {
    test::DebugCapture debug;
    int clicked = 0;
    tray->OnBalloonClick = [&](TzintraSysTray&) {
        ++clicked;
        throw Error("click handler failed");
    };
    tray->OnBalloonHide = [](TzintraSysTray&) { throw Error("hide handler failed"); };
    activate();
    const TDateTime requested = 40000.5;
    TDateTime now = requested;
    test::ScopedClock clock(requested);
    runtime::setClock([&] { return now; });
    tray->ShowBalloon(QStringLiteral("Title"), QStringLiteral("text"), TBalloonKind::bkInfo, 10999,
                      false);
    requests.clear();

    EXPECT_EQ(callback(NIN_BALLOONHIDE), 1);
    EXPECT_TRUE(requests.empty());

    // The area's timeout counts only once the balloon's own whole seconds are over.
    now = requested + 10.9 / runtime::SecondsPerDay;
    EXPECT_EQ(callback(NIN_BALLOONTIMEOUT), 1);
    EXPECT_TRUE(requests.empty());
    now = requested + 11.0 / runtime::SecondsPerDay;
    EXPECT_EQ(callback(NIN_BALLOONTIMEOUT), 1);
    EXPECT_EQ(requests.size(), 2u);

    requests.clear();
    EXPECT_EQ(callback(NIN_BALLOONUSERCLICK), 1);
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(callback(NIN_BALLOONSHOW), 0);
    EXPECT_EQ(callback(NIN_SELECT), 0);
    // The balloon handlers' failures are dropped.
    EXPECT_TRUE(debug.lines().empty());
}

TEST_F(SysTrayTest, BalloonsNeedArea5) {
    settings.version = OldShell;
    reset();
    int shown = 0;
    tray->OnBalloonShow = [&](TzintraSysTray&) { ++shown; };
    activate();
    tray->ShowBalloon(QStringLiteral("Title"), QStringLiteral("text"), TBalloonKind::bkInfo, 3000,
                      true);
    tray->HideBalloons();
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(shown, 0);
    EXPECT_FALSE(timer("balloonTimer").isActive());
}

TEST_F(SysTrayTest, TaskbarCreatedAddsTheIconAgainWithTheCurrentPictureAndTip) {
    const std::uint32_t taskbarCreated = registerWindowMessage("TaskbarCreated");
    test::sendMessage(tray.get(), taskbarCreated, 0, 0);
    EXPECT_TRUE(requests.empty());

    activate();
    tray->SetIcon(solidIcon(QColor(0, 128, 0)));
    tray->SetHint(QStringLiteral("Peak 75%"));
    callback(WM_MOUSEMOVE);
    requests.clear();

    EXPECT_EQ(test::sendMessage(tray.get(), taskbarCreated, 0, 0), 0);
    ASSERT_THAT(messages(), ElementsAre(NIM_DELETE, NIM_ADD, NIM_SETVERSION));
    EXPECT_EQ(requests[1].data.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    EXPECT_EQ(centre(requests[1].data.hIcon), QColor(0, 128, 0));
    EXPECT_EQ(requests[1].data.szTip, QStringLiteral("Peak 75%"));
}

TEST_F(SysTrayTest, SessionEndTakesTheIconAway) {
    activate();
    EXPECT_EQ(test::sendMessage(tray.get(), WM_QUERYENDSESSION, 0, 0), 1);
    test::sendMessage(tray.get(), WM_ENDSESSION, 0, 0);
    EXPECT_TRUE(requests.empty());
    test::sendMessage(tray.get(), WM_ENDSESSION, 1, 0);
    EXPECT_THAT(messages(), ElementsAre(NIM_DELETE));
}

TEST_F(SysTrayTest, HandlerFailuresGoToTheDiagnosticSink) {
    test::DebugCapture debug;
    tray->OnClick = [](TzintraSysTray&, TMouseButton, TShiftState, int, int) {
        throw Error("The click handler failed");
    };
    tray->OnDblClick = [](TzintraSysTray&, TMouseButton, TShiftState, int, int) {};
    activate();
    click();
    fire("clickTimer");
    EXPECT_THAT(debug.lines(), ElementsAre(HasSubstr("The click handler failed")));
    // The component goes on working.
    click();
    EXPECT_TRUE(timer("clickTimer").isActive());
}

class SysTrayApplicationTest : public SysTrayTest {
protected:
    SysTrayApplicationTest() {
        window.resize(200, 100);
        window.show();
    }
    QWidget window;
};

TEST_F(SysTrayApplicationTest, AutoHideIconShowsTheIconOnlyWhileTheApplicationIsHidden) {
    activate();
    const TTrayVisibilities defaults{tvVisibleTaskBar, tvVisibleTaskList, tvAutoHide};
    EXPECT_EQ(tray->Visibility(), defaults);
    tray->SetVisibility(defaults + tvAutoHideIcon + tvRestoreClick);
    EXPECT_THAT(messages(), ElementsAre(NIM_DELETE));

    // Minimising hides the application to the icon.
    requests.clear();
    window.showMinimized();
    QCoreApplication::sendPostedEvents(tray.get());
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(tray->Visibility().contains(tvVisibleTaskBar));
    EXPECT_THAT(messages(), ElementsAre(NIM_ADD, NIM_SETVERSION));
    // Hiding again while hidden adds nothing.
    requests.clear();
    tray->SetVisibility(tray->Visibility() - tvAutoHide);
    tray->SetVisibility(tray->Visibility() + tvAutoHide);
    EXPECT_TRUE(requests.empty());

    // A click on the icon brings it back and the icon leaves.
    requests.clear();
    click();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(tray->Visibility().contains(tvVisibleTaskBar));
    EXPECT_THAT(messages(), ElementsAre(NIM_DELETE));
}

TEST_F(SysTrayApplicationTest, VisibilityHidesAndShowsTheApplication) {
    activate();
    tray->SetVisibility(tray->Visibility() + tvMinimizeClick + tvRestoreDbClick);
    EXPECT_TRUE(window.isVisible());

    click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(tray->Visibility().contains(tvVisibleTaskBar));
    callback(WM_LBUTTONDBLCLK);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());

    tray->SetVisibility(tray->Visibility() - tvVisibleTaskBar);
    EXPECT_FALSE(window.isVisible());
    tray->SetVisibility(tray->Visibility() + tvVisibleTaskBar);
    EXPECT_TRUE(window.isVisible());

    // Without tvAutoHide a minimised window stays where it is.
    tray->SetVisibility(tray->Visibility() - tvAutoHide);
    window.showMinimized();
    QCoreApplication::sendPostedEvents(tray.get());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(tray->Visibility().contains(tvVisibleTaskBar));
    // Nor does anything happen once the component is inactive.
    window.showNormal();
    tray->SetVisibility(tray->Visibility() + tvAutoHide);
    tray->SetActive(false);
    window.showMinimized();
    QCoreApplication::sendPostedEvents(tray.get());
    EXPECT_TRUE(window.isVisible());
}

TEST_F(SysTrayApplicationTest, LoadedAppliesTheLoadedPropertiesTogether) {
    tray->BeginLoading();
    tray->SetActive(true);
    tray->SetIcon(solidIcon(QColor(0, 128, 0)));
    tray->SetVisibility({tvVisibleTaskList, tvRestoreClick});
    EXPECT_FALSE(tray->Active());
    EXPECT_TRUE(requests.empty());

    tray->Loaded();
    EXPECT_TRUE(tray->Active());
    ASSERT_THAT(messages(), ElementsAre(NIM_ADD, NIM_SETVERSION));
    EXPECT_EQ(centre(requests[0].data.hIcon), QColor(0, 128, 0));
    // Started hidden: the window went, and a click restores it.
    EXPECT_FALSE(window.isVisible());
    click();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
}

} // namespace
} // namespace vantle
