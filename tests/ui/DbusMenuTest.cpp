// The tray menu as a notification-area host reads it over D-Bus: the layout it asks for, the
// labels' mnemonics, the clicks it reports, and the changes it is told about. Called directly,
// as the bus layer would; the live tests read the same object over a real bus from a panel.
#include "ui/dbusMenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QSignalSpy>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vantle {
namespace {

class DbusMenuTest : public testing::Test {
protected:
    DbusMenuTest() {
        about = menu.addAction(QStringLiteral("About vantle"));
        menu.addSeparator();
        open = menu.addAction(QStringLiteral("Open"));
        configure = menu.addAction(QStringLiteral("&Configure"));
        menu.addSeparator();
        exit = menu.addAction(QStringLiteral("Exit"));
        exported.setMenu(&menu);
    }

    // Each child as its label, "-" for a separator.
    QStringList entries(const TdbusMenuLayout& layout) {
        QStringList result;
        for (const QVariant& child : layout.children) {
            const TdbusMenuLayout item = child.value<TdbusMenuLayout>();
            result << (item.properties.value("type").toString() == "separator"
                           ? QStringLiteral("-")
                           : item.properties.value("label").toString());
        }
        return result;
    }

    QMenu menu;
    QAction* about;
    QAction* open;
    QAction* configure;
    QAction* exit;
    TdbusMenu exported;
};

TEST_F(DbusMenuTest, TheLayoutListsTheCommandsInMenuOrder) {
    TdbusMenuLayout layout;
    const uint revision = exported.GetLayout(0, -1, {}, layout);
    EXPECT_EQ(layout.id, 0);
    EXPECT_EQ(layout.properties.value("children-display").toString(), "submenu");
    EXPECT_EQ(entries(layout),
              (QStringList{"About vantle", "-", "Open", "_Configure", "-", "Exit"}));

    // Only the properties asked for; a depth of 0 gives the root alone.
    exported.GetLayout(0, -1, {QStringLiteral("label")}, layout);
    EXPECT_EQ(layout.children.at(0).value<TdbusMenuLayout>().properties.keys(),
              QStringList{"label"});
    EXPECT_EQ(exported.GetLayout(0, 0, {}, layout), revision);
    EXPECT_TRUE(layout.children.isEmpty());

    // A changed item is a new revision, announced.
    QSignalSpy updated(&exported, &TdbusMenu::LayoutUpdated);
    configure->setEnabled(false);
    EXPECT_EQ(updated.count(), 1);
    EXPECT_GT(exported.GetLayout(0, -1, {}, layout), revision);
    EXPECT_FALSE(
        layout.children.at(3).value<TdbusMenuLayout>().properties.value("enabled").toBool());
}

TEST_F(DbusMenuTest, LabelsWriteMnemonicsTheProtocolsWay) {
    const struct {
        const char* text;
        const char* label;
    } cases[] = {
        {"Open", "Open"},
        {"&Open", "_Open"},
        {"Save && Quit", "Save & Quit"},
        {"snake_case", "snake__case"},
        {"trailing&", "trailing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TdbusMenu::dbusLabel(QString::fromUtf8(c.text)), QString::fromUtf8(c.label));
    }
}

TEST_F(DbusMenuTest, AClickRunsTheCommandOnceTheHostHasItsAnswer) {
    QSignalSpy opened(open, &QAction::triggered);
    QSignalSpy exited(exit, &QAction::triggered);
    exported.Event(3, QStringLiteral("clicked"), QDBusVariant(0), 0);
    EXPECT_EQ(opened.count(), 0); // not inside the host's call
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(opened.count(), 1);

    // Hovering, separators, unknown ids and disabled commands do nothing; unknown ids are errors.
    exit->setEnabled(false);
    const QList<int> errors = exported.EventGroup({{3, QStringLiteral("hovered"), {}, 0},
                                                   {2, QStringLiteral("clicked"), {}, 0},
                                                   {6, QStringLiteral("clicked"), {}, 0},
                                                   {42, QStringLiteral("clicked"), {}, 0}});
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(errors, QList<int>{42});
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(exited.count(), 0);
}

} // namespace
} // namespace vantle
