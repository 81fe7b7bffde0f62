// The popup-menu notifications: one enter and one close per menu loop, to the active window or
// else the main form.
#include "ui/PopupEx.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace vantle {
namespace {

using testing::ElementsAre;

// Notes the popup notifications sent to the objects it watches.
class Recorder : public QObject {
public:
    struct Note {
        QObject* receiver;
        int message;
        friend bool operator==(const Note&, const Note&) = default;
    };
    std::vector<Note> notes;

    void watch(QObject* target) { target->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        const int type = e->type();
        if (type >= WM_RESETTRIM && type <= WM_POPUPCLOSED)
            notes.push_back({watched, type});
        return false;
    }
};

// Opens menu at a point and runs steps one after the other while it is open.
void runMenu(QMenu& menu, std::vector<std::function<void()>> steps) {
    for (std::size_t i = 0; i < steps.size(); ++i)
        QTimer::singleShot(static_cast<int>(i), &menu, steps[i]);
    menu.exec(QPoint(50, 50));
}

class PopupExTest : public testing::Test {
protected:
    PopupExTest() {
        recorder.watch(&mainForm);
        menu.addAction(QStringLiteral("Open"));
    }
    QObject mainForm;
    Recorder recorder;
    QMenu menu;
};

TEST_F(PopupExTest, AMenuLoopSendsEnterClosedAndResetTrim) {
    TExPopupList list(&mainForm);
    runMenu(menu, {[&] { menu.close(); }});
    EXPECT_THAT(recorder.notes, ElementsAre(Recorder::Note{&mainForm, WM_POPUPENTERLOOP},
                                            Recorder::Note{&mainForm, WM_POPUPCLOSED},
                                            Recorder::Note{&mainForm, WM_RESETTRIM}));
}

TEST_F(PopupExTest, ASubmenuStaysInTheSameLoop) {
    TExPopupList list(&mainForm);
    QMenu* sub = menu.addMenu(QStringLiteral("More"));
    sub->addAction(QStringLiteral("Item"));
    runMenu(
        menu,
        {[&] { sub->popup(QPoint(120, 60)); },
         [&] {
             sub->hide();
             EXPECT_THAT(recorder.notes, ElementsAre(Recorder::Note{&mainForm, WM_POPUPENTERLOOP}));
         },
         [&] { menu.close(); }});
    EXPECT_EQ(recorder.notes.size(), 3u);
}

TEST_F(PopupExTest, TheActiveWindowIsToldFirst) {
    TExPopupList list(&mainForm);
    QWidget window;
    recorder.watch(&window);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_EQ(QApplication::activeWindow(), &window);
    runMenu(menu, {[&] { menu.close(); }});
    ASSERT_EQ(recorder.notes.size(), 3u);
    for (const Recorder::Note& note : recorder.notes)
        EXPECT_EQ(note.receiver, &window);
}

TEST_F(PopupExTest, NothingIsSentOnceTheListIsGone) {
    { TExPopupList list(&mainForm); }
    runMenu(menu, {[&] { menu.close(); }});
    EXPECT_TRUE(recorder.notes.empty());
}

} // namespace
} // namespace vantle
