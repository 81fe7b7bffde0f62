// Message boxes: captions, icons and buttons as recorded through the test answer, and real
// boxes answered by clicks, keys and the close box.
#include "ui/VCLutils.h"
#include "ui/QtPrinters.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

using namespace vantle;

namespace {

QMessageBox* shownBox() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
            return box;
    return nullptr;
}

// Runs show while act, posted to the event loop, handles the box that opens; gives up on the
// box (closing it) when act leaves it open, so that a fault fails the test instead of hanging.
int answered(const std::function<int()>& show, const std::function<void(QMessageBox&)>& act) {
    QTimer::singleShot(0, [&] {
        QMessageBox* box = shownBox();
        if (box == nullptr) {
            ADD_FAILURE() << "no message box showing";
            return;
        }
        act(*box);
        if (QMessageBox* still = shownBox()) {
            ADD_FAILURE() << "the box stayed open";
            still->close();
        }
    });
    return show();
}

void press(QWidget& target, int key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&target, &down);
}

QPushButton* button(QMessageBox& box, const char* name) {
    return box.findChild<QPushButton*>(QLatin1String(name));
}

TEST(MessageDialog, KindsGiveCaptionAndIcon) {
    struct Case {
        TmessageKind kind;
        const char* caption;
        QMessageBox::Icon icon;
    };
    const Case cases[] = {
        {TmessageKind::warning, "vantle - Warning", QMessageBox::Warning},
        {TmessageKind::error, "vantle - Error", QMessageBox::Critical},
        {TmessageKind::information, "vantle - Information", QMessageBox::Information},
        {TmessageKind::confirmation, "vantle - Confirm", QMessageBox::Question},
        {TmessageKind::custom, "vantle - vantle", QMessageBox::NoIcon},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        VCLutils::setNextResult(101);
        EXPECT_EQ(MessageDialog("Text", c.kind, "A", "B"), 101);
        const auto shown = VCLutils::lastMessage();
        ASSERT_TRUE(shown.has_value());
        EXPECT_EQ(shown->caption, c.caption);
        EXPECT_EQ(shown->icon, c.icon);
        EXPECT_EQ(shown->text, "Text");
        EXPECT_EQ(shown->buttons, QStringList({"A", "B"}));
        EXPECT_EQ(shownBox(), nullptr);
    }
}

TEST(MessageDialog, TestAnswerServesOneBoxAndForgetsTheLastRecord) {
    VCLutils::setNextResult(100);
    ErrorBox("vantle is already running.");
    const auto shown = VCLutils::lastMessage();
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->caption, "vantle - Error");
    EXPECT_EQ(shown->icon, QMessageBox::Critical);
    EXPECT_EQ(shown->text, "vantle is already running.");
    EXPECT_EQ(shown->buttons, QStringList{"OK"});

    VCLutils::setNextResult(100);
    EXPECT_FALSE(VCLutils::lastMessage().has_value());
    MessageDialog("once", TmessageKind::information, "OK");
    // The next box is a real one again.
    EXPECT_EQ(answered([] { return MessageDialog("twice", TmessageKind::information, "OK"); },
                       [](QMessageBox& box) { button(box, "Yes")->click(); }),
              100);
}

TEST(MessageDialog, ButtonSets) {
    struct Case {
        const char* button2;
        const char* button3;
        QStringList shown;
    };
    const Case cases[] = {
        {"", "", {"Go"}},
        {"Stop", "", {"Go", "Stop"}},
        {"Stop", "Later", {"Go", "Stop", "Later"}},
        // A third button brings the middle one with the toolkit's own caption.
        {"", "Later", {"Go", "&No", "Later"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown.join(',').toStdString());
        VCLutils::setNextResult(100);
        MessageDialog("Text", TmessageKind::confirmation, "Go", c.button2, c.button3);
        EXPECT_EQ(VCLutils::lastMessage()->buttons, c.shown);
    }
}

TEST(MessageDialog, RealBoxShowsButtonsInOrderOfEqualWidth) {
    answered(
        [] { return MessageDialog("Text", TmessageKind::confirmation, "Go", "Stop", "Later on"); },
        [](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), "vantle - Confirm");
            EXPECT_EQ(box.icon(), QMessageBox::Question);
            std::vector<QPushButton*> row;
            for (const char* name : {"Yes", "No", "Cancel"}) {
                row.push_back(button(box, name));
                ASSERT_NE(row.back(), nullptr) << name;
            }
            EXPECT_EQ(row[0]->text(), "Go");
            EXPECT_EQ(row[1]->text(), "Stop");
            EXPECT_EQ(row[2]->text(), "Later on");
            EXPECT_LT(row[0]->x(), row[1]->x());
            EXPECT_LT(row[1]->x(), row[2]->x());
            EXPECT_EQ(row[0]->width(), row[2]->width());
            EXPECT_EQ(row[1]->width(), row[2]->width());
            EXPECT_EQ(box.defaultButton(), row[0]);
            box.close();
        });
}

TEST(MessageDialog, AnswersOfARealBox) {
    struct Case {
        const char* what;
        const char* button2;
        const char* button3;
        std::function<void(QMessageBox&)> act;
        int result;
    };
    const auto click = [](const char* name) {
        return [name](QMessageBox& box) { button(box, name)->click(); };
    };
    const auto key = [](int code) { return [code](QMessageBox& box) { press(box, code); }; };
    const Case cases[] = {
        {"first of one", "", "", click("Yes"), 100},
        {"first of three", "B", "C", click("Yes"), 100},
        {"second", "B", "C", click("No"), 101},
        {"third", "B", "C", click("Cancel"), 102},
        {"middle without a caption", "", "C", click("No"), 7},
        {"close box, one button", "", "", [](QMessageBox& box) { box.close(); }, 2},
        {"close box, three buttons", "B", "C", [](QMessageBox& box) { box.close(); }, 2},
        {"Enter", "B", "C", key(Qt::Key_Return), 100},
        {"Escape of two", "B", "", key(Qt::Key_Escape), 101},
        {"Escape of three", "B", "C", key(Qt::Key_Escape), 102},
        {"Escape of one does nothing", "", "",
         [](QMessageBox& box) {
             press(box, Qt::Key_Escape);
             EXPECT_TRUE(box.isVisible());
             box.close();
         },
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(answered(
                      [&] {
                          return MessageDialog("Text", TmessageKind::warning, "A", c.button2,
                                               c.button3);
                      },
                      c.act),
                  c.result);
    }
}

TEST(MessageDialog, HourglassGivesWayToTheDefaultCursor) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    answered([] { return MessageDialog("Text", TmessageKind::information, "OK"); },
             [](QMessageBox& box) {
                 EXPECT_EQ(QApplication::overrideCursor(), nullptr);
                 box.close();
             });
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MessageDialog, TextIsPlainWithItsLineBreaksAndLongLinesWrapped) {
    answered([] { return MessageDialog("one\r\ntwo\rthree", TmessageKind::error, "OK"); },
             [](QMessageBox& box) {
                 EXPECT_EQ(box.text(), "one\ntwo\nthree");
                 // Failure texts from the network must not pass for markup.
                 EXPECT_EQ(box.textFormat(), Qt::PlainText);
                 box.close();
             });
    const QString longLine = QString("word ").repeated(200);
    answered([&] { return MessageDialog(longLine, TmessageKind::error, "OK"); },
             [](QMessageBox& box) {
                 auto* label = box.findChild<QLabel*>("qt_msgbox_label");
                 ASSERT_NE(label, nullptr);
                 EXPECT_TRUE(label->wordWrap());
                 EXPECT_LE(label->width(), QApplication::primaryScreen()->size().width() / 2);
                 box.close();
             });
}

} // namespace
