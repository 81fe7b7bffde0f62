// Captures of the configuration dialog, the wait window and the about window, written into
// the build's artefacts folder for a person to look at.
#include "config/configuration.h"
#include "support/TestSupport.h"
#include "ui/about_form.h"
#include "ui/config_form.h"
#include "ui/wait_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

using namespace vantle;

namespace {

void capture(QWidget& widget, const char* name) {
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(VANTLE_ARTEFACTS)));
    const QString path = QStringLiteral(VANTLE_ARTEFACTS "/") + QLatin1String(name);
    const QPixmap shot = widget.grab();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(path, "PNG")) << path.toStdString();
}

void activate(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

} // namespace

TEST(FormScreens, ConfigurationDialogEmptyFilledAndVerifying) {
    test::ScopedUserFolders home;
    Tconfiguration c;
    TconfigFrm dialog(c);
    activate(dialog);
    // As the user first sees it: the focus in the user name, the password's placeholder.
    capture(dialog, "config-empty.png");

    auto* username = dialog.findChild<QLineEdit*>(QStringLiteral("usernameEdit"));
    auto* password = dialog.findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
    username->setText(QStringLiteral("demo"));
    dialog.findChild<QComboBox*>(QStringLiteral("domainEdit"))->setCurrentIndex(0);
    password->setFocus();
    password->setText(QStringLiteral("secret"));
    dialog.findChild<QCheckBox*>(QStringLiteral("runOnLoginCB"))->setChecked(true);
    dialog.findChild<QWidget*>(QStringLiteral("saveBtn"))->setFocus();
    capture(dialog, "config-filled.png");

    ShowWaitText(&dialog, QStringLiteral("Verifying username and password"));
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == "waitFrm")
            capture(*widget, "wait.png");
    HideWait();
}

TEST(FormScreens, AboutWindow) {
    test::ScopedUserFolders home;
    Tconfiguration c;
    QPointer<TaboutFrm> about = new TaboutFrm;
    about->SetVersion(QString::fromStdString(c.versionText()));
    activate(*about);
    capture(*about, "about.png");
    delete about.data();
}
