// The configuration dialog against vantle-sim: placeholders, the enter and leave rules, the
// checks of Save, verification behind the wait window, and what a Save or Cancel changes.
#include "ui/config_form.h"

#include "config/configuration.h"
#include "lib/runtime/Error.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"
#include "ui/QtPrinters.h"
#include "ui/VCLutils.h"
#include "ui/notifyGroup.h"
#include "ui/wait_form.h"
#include "usage/failures.h"
#include "usage/iinet.h"
#include "usage/providers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>

using namespace vantle;
namespace fs = std::filesystem;

namespace {

template <class T> T& child(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (found == nullptr)
        throw Error(std::string("no child ") + name);
    return *found;
}

QWidget* visibleTopLevel(const QString& name) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == name && widget->isVisible())
            return widget;
    return nullptr;
}

// The dialog's controls, found by name as a test of another unit would find them.
struct Controls {
    explicit Controls(QWidget& dialog)
        : username(child<QLineEdit>(dialog, "usernameEdit"))
        , domain(child<QComboBox>(dialog, "domainEdit"))
        , password(child<QLineEdit>(dialog, "passwordEdit"))
        , runOnLogin(child<QCheckBox>(dialog, "runOnLoginCB"))
        , save(child<QPushButton>(dialog, "saveBtn"))
        , cancel(child<QPushButton>(dialog, "cancelBtn")) {}

    QLineEdit& username;
    QComboBox& domain;
    QLineEdit& password;
    QCheckBox& runOnLogin;
    QPushButton& save;
    QPushButton& cancel;
};

// Records the wait window's text and its owner's state at the moment the window shows.
class WaitWatch : public QObject {
public:
    explicit WaitWatch(QWidget& owner)
        : owner_(owner) {
        qApp->installEventFilter(this);
    }
    ~WaitWatch() override { qApp->removeEventFilter(this); }

    std::optional<QString> text;
    bool ownerEnabled = true;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->objectName() == "waitFrm") {
            text = watched->findChild<QLabel*>(QStringLiteral("blurb"))->text();
            ownerEnabled = owner_.isEnabled();
        }
        return false;
    }

private:
    QWidget& owner_;
};

bool isPlaceholder(const QLineEdit& edit, const QString& text) {
    return edit.text() == text && edit.echoMode() == QLineEdit::Normal &&
           edit.palette().color(QPalette::Text) == TconfigFrm::placeholderColour();
}

bool isMaskedValue(const QLineEdit& edit) {
    return edit.echoMode() == QLineEdit::Password &&
           edit.displayText() == QString(edit.text().size(), QLatin1Char('*')) &&
           edit.palette().color(QPalette::Text) == TconfigFrm::valueColour();
}

// A stand-in provider serving demo/demo for the first domain, and the user's folders.
class ConfigForm : public testing::Test {
protected:
    test::ScopedUserFolders home;
    Tconfiguration c;
    test::RunningSim sim{VANTLE_SIM, {"--static"}};

    ConfigForm() { c.providers[std::string(IinetDomain)] = sim.urlTemplate; }

    // The dialog shown and active, so that focus moves as the user moves it.
    std::unique_ptr<TconfigFrm> opened() {
        auto dialog = std::make_unique<TconfigFrm>(c);
        dialog->show();
        dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog.get()))
            throw Error("the dialog did not become active");
        return dialog;
    }

    // Types into an edit the way a user does: focus first, then the text.
    static void type(QLineEdit& edit, const QString& text) {
        edit.setFocus(Qt::TabFocusReason);
        edit.setText(text);
    }

    static void fill(Controls& controls, const QString& username, const QString& password) {
        type(controls.username, username);
        controls.domain.setCurrentIndex(0);
        type(controls.password, password);
    }

    // Clicks Save with the error box answered at once; the box's text, or nothing.
    static std::optional<QString> save(Controls& controls) {
        VCLutils::setNextResult(firstButtonResult);
        QTest::mouseClick(&controls.save, Qt::LeftButton);
        const std::optional<VCLutils::TshownMessage> shown = VCLutils::lastMessage();
        if (!shown)
            return std::nullopt;
        EXPECT_EQ(shown->caption, "vantle - Error");
        EXPECT_EQ(shown->icon, QMessageBox::Critical);
        return shown->text;
    }

    bool hasUsageDocuments() const {
        return fs::exists(c.dataFolder + std::string(CurrentDocumentName)) ||
               fs::exists(c.dataFolder + std::string(LastGoodDocumentName));
    }
};

} // namespace

TEST_F(ConfigForm, FormAndControls) {
    TconfigFrm dialog(c);
    EXPECT_EQ(dialog.windowTitle(), "vantle - Configuration");
    // The notifications' row below the start-at-login box makes it 22 pixels higher.
    EXPECT_EQ(dialog.size(), QSize(361, 155));
    EXPECT_FALSE(dialog.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    Controls controls(dialog);
    EXPECT_EQ(child<QLabel>(dialog, "Label1").text(), "Username:");
    EXPECT_EQ(child<QLabel>(dialog, "Label2").text(), "Password:");
    EXPECT_EQ(child<QLabel>(dialog, "Label3").text(), "@");
    EXPECT_EQ(controls.save.text(), "Save");
    EXPECT_TRUE(controls.save.isDefault());
    EXPECT_EQ(controls.cancel.text(), "Cancel");
    EXPECT_EQ(controls.runOnLogin.text(), "Start vantle when I log in");
    EXPECT_EQ(controls.username.geometry(), QRect(88, 8, 121, 21));
    EXPECT_EQ(controls.domain.geometry(), QRect(231, 8, 122, 21));
    EXPECT_EQ(controls.password.geometry(), QRect(88, 35, 121, 21));
    EXPECT_EQ(controls.save.geometry(), QRect(197, 122, 75, 25));
    EXPECT_EQ(controls.cancel.geometry(), QRect(278, 122, 75, 25));
    EXPECT_EQ(child<QCheckBox>(dialog, "notifyCB").text(), "Tell me when I reach");

    ASSERT_EQ(controls.domain.count(), 2);
    EXPECT_EQ(controls.domain.itemText(0), "iinet.net.au");
    EXPECT_EQ(controls.domain.itemText(1), "westnet.com.au");
    EXPECT_FALSE(controls.domain.isEditable());

    const QWidget* order[] = {&controls.username,
                              &controls.domain,
                              &controls.password,
                              &controls.save,
                              &controls.cancel,
                              &controls.runOnLogin,
                              &child<QCheckBox>(dialog, "notifyCB")};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        SCOPED_TRACE(order[i]->objectName().toStdString());
        const QWidget* next = order[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]);
    }
}

TEST_F(ConfigForm, EmptyConfigurationShowsPlaceholders) {
    for (const bool runAtLogin : {false, true}) {
        SCOPED_TRACE(runAtLogin);
        c.setRunAtLogin(runAtLogin);
        TconfigFrm dialog(c);
        Controls controls(dialog);
        EXPECT_TRUE(isPlaceholder(controls.username, "username"));
        EXPECT_EQ(controls.domain.currentIndex(), -1);
        EXPECT_TRUE(isPlaceholder(controls.password, "password"));
        EXPECT_EQ(controls.runOnLogin.isChecked(), runAtLogin);
    }
    EXPECT_NE(TconfigFrm::placeholderColour(), TconfigFrm::valueColour());
}

TEST_F(ConfigForm, StoredAccountShowsItsValues) {
    struct Case {
        const char* domain;
        int index;
    };
    const Case cases[] = {{"iinet.net.au", 0}, {"WestNet.COM.au", 1}, {"example.com", -1}};
    c.username = "demo";
    c.password = "demo";
    for (const Case& k : cases) {
        SCOPED_TRACE(k.domain);
        c.domain = k.domain;
        TconfigFrm dialog(c);
        Controls controls(dialog);
        EXPECT_EQ(controls.username.text(), "demo");
        EXPECT_EQ(controls.username.palette().color(QPalette::Text), TconfigFrm::valueColour());
        EXPECT_EQ(controls.domain.currentIndex(), k.index);
        EXPECT_EQ(controls.password.text(), "demo");
        EXPECT_TRUE(isMaskedValue(controls.password));
    }
}

TEST_F(ConfigForm, EnterAndLeaveRules) {
    const auto dialog = opened();
    Controls controls(*dialog);

    // Entering clears a placeholder; the password is masked from the first character.
    controls.username.setFocus();
    EXPECT_EQ(controls.username.text(), "");
    EXPECT_EQ(controls.username.palette().color(QPalette::Text), TconfigFrm::valueColour());
    controls.password.setFocus();
    EXPECT_TRUE(isPlaceholder(controls.username, "username"));
    EXPECT_EQ(controls.password.text(), "");
    EXPECT_EQ(controls.password.echoMode(), QLineEdit::Password);

    struct Case {
        const char* typed;
        const char* usernameShows; // nullptr: the placeholder
        bool passwordMasked;
    };
    const Case cases[] = {
        {"  \t ", nullptr, true},        {"username", nullptr, true},    {" bob ", " bob ", true},
        {"password", "password", false}, {"Username", "Username", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.typed);
        type(controls.username, k.typed);
        type(controls.password, k.typed);
        controls.cancel.setFocus();
        if (k.usernameShows == nullptr) {
            EXPECT_TRUE(isPlaceholder(controls.username, "username"));
        } else {
            EXPECT_EQ(controls.username.text(), k.usernameShows);
            EXPECT_EQ(controls.username.palette().color(QPalette::Text), TconfigFrm::valueColour());
        }
        if (k.passwordMasked) {
            EXPECT_EQ(controls.password.text(), k.typed);
            EXPECT_TRUE(isMaskedValue(controls.password));
        } else {
            EXPECT_TRUE(isPlaceholder(controls.password, "password"));
        }
    }

    // Another window taking the focus for a moment does not count as leaving.
    type(controls.password, "");
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(controls.password.text(), "");
    EXPECT_EQ(controls.password.echoMode(), QLineEdit::Password);
}

TEST_F(ConfigForm, MissingInputIsReportedInOrder) {
    struct Case {
        const char* username;
        int domain;
        const char* password;
        const char* message;
    };
    const Case cases[] = {
        {"", -1, "", "You must provide your username."},
        {"   ", 0, "demo", "You must provide your username."},
        {"demo", -1, "demo", "You must provide your domain."},
        {"demo", 0, "", "You must provide your password."},
        {"demo", 0, " \t ", "You must provide your password."},
        // A password that is the placeholder's word reads as no password.
        {"demo", 0, "password", "You must provide your password."},
    };
    const auto dialog = opened();
    Controls controls(*dialog);
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.username) + "|" + std::to_string(k.domain) + "|" + k.password);
        type(controls.username, k.username);
        controls.domain.setCurrentIndex(k.domain);
        type(controls.password, k.password);
        EXPECT_EQ(save(controls), k.message);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_NE(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(c.username, "");
    }
    EXPECT_FALSE(hasUsageDocuments()) << "no fetch for incomplete input";
}

TEST_F(ConfigForm, SaveVerifiesBehindTheWaitWindowAndTakesTrimmedValues) {
    c.username = "someone else";
    c.domain = std::string(WestnetDomain);
    c.password = "old";
    c.setUpdateTime(45000.5);
    test::writeFile(c.trayHintFile, "old hint");
    const auto dialog = opened();
    Controls controls(*dialog);
    fill(controls, " demo\t", "  demo ");
    controls.runOnLogin.setChecked(true);

    // The wait window shows while the fetch runs, over the disabled dialog.
    WaitWatch watch(*dialog);
    EXPECT_EQ(save(controls), std::nullopt);

    EXPECT_EQ(watch.text, "Verifying username and password...");
    EXPECT_FALSE(watch.ownerEnabled);
    EXPECT_EQ(visibleTopLevel("waitFrm"), nullptr);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(c.username, "demo");
    EXPECT_EQ(c.domain, IinetDomain);
    EXPECT_EQ(c.password, "demo");
    EXPECT_TRUE(c.runAtLogin());
    // A new user: the old account's data is gone, the verification's documents too.
    EXPECT_FALSE(fs::exists(c.trayHintFile));
    EXPECT_FALSE(hasUsageDocuments());
    EXPECT_EQ(c.updateTime(), NeverUpdated);
    EXPECT_FALSE(fs::exists(c.configFile)) << "the dialog itself writes no settings";
}

TEST_F(ConfigForm, NotificationsAreShownAndTakenOverOnSave) {
    c.notifications = {true, {50, 95}}; // two thresholds, as vantlectl may set them
    {
        TconfigFrm dialog(c);
        auto& notify = child<QCheckBox>(dialog, "notifyCB");
        auto& first = child<QSpinBox>(dialog, "thresholdEdit1");
        auto& third = child<QSpinBox>(dialog, "thresholdEdit3");
        EXPECT_TRUE(notify.isChecked());
        EXPECT_EQ(first.value(), 50);
        EXPECT_EQ(child<QSpinBox>(dialog, "thresholdEdit2").value(), 95);
        EXPECT_EQ(third.value(), 100);
        notify.setChecked(false);
        EXPECT_FALSE(first.isEnabled());
        // Boxes left alone keep the stored list, whatever the third shows.
        EXPECT_EQ(dialog.findChild<TnotifyGroup*>()->settings(),
                  (TnotifySettings{false, {50, 95}}));
    }
    const auto dialog = opened();
    Controls controls(*dialog);
    fill(controls, "demo", "demo");
    child<QSpinBox>(*dialog, "thresholdEdit1").setValue(97);
    EXPECT_EQ(save(controls), std::nullopt);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(c.notifications, (TnotifySettings{true, {95, 97, 100}}));
}

TEST_F(ConfigForm, SameUserNameKeepsTheAccountData) {
    c.username = "demo";
    c.domain = std::string(IinetDomain);
    c.password = "old";
    c.setRunAtLogin(true);
    c.setUpdateTime(45000.5);
    test::writeFile(c.trayHintFile, "hint");
    const std::string lastGood = c.dataFolder + std::string(LastGoodDocumentName);
    test::writeFile(lastGood, "<ii_feed>stored</ii_feed>");
    const auto dialog = opened();
    Controls controls(*dialog);
    type(controls.password, "demo");
    controls.runOnLogin.setChecked(false);

    EXPECT_EQ(save(controls), std::nullopt);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(c.password, "demo");
    EXPECT_FALSE(c.runAtLogin());
    EXPECT_EQ(test::readFile(c.trayHintFile), "hint");
    // The verification reads the answer without storing it; the next poll stores its own.
    EXPECT_EQ(test::readFile(lastGood), "<ii_feed>stored</ii_feed>");
    EXPECT_FALSE(fs::exists(c.dataFolder + std::string(CurrentDocumentName)));
    EXPECT_NE(c.updateTime(), NeverUpdated);
}

TEST_F(ConfigForm, FailedVerificationChangesNothingAndCancelKeepsItSo) {
    test::writeFile(c.trayHintFile, "hint");
    const auto dialog = opened();
    Controls controls(*dialog);
    fill(controls, "demo", "wrong");
    controls.runOnLogin.setChecked(true);

    // The plain sentence first, the provider's words under it.
    EXPECT_EQ(save(controls),
              QString::fromStdString(std::string(failureSentence(TfailureKind::providerError)) +
                                     "\nThe provider answered: Authentication failed"));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isEnabled());
    EXPECT_EQ(visibleTopLevel("waitFrm"), nullptr);
    EXPECT_EQ(controls.username.text(), "demo");
    EXPECT_EQ(controls.password.text(), "wrong");
    EXPECT_TRUE(controls.runOnLogin.isChecked());

    QTest::mouseClick(&controls.cancel, Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(c.username, "");
    EXPECT_EQ(c.password, "");
    EXPECT_EQ(c.domain, "");
    EXPECT_FALSE(c.runAtLogin());
    EXPECT_EQ(test::readFile(c.trayHintFile), "hint");
}

// The provider holds the answer back: the wait window keeps animating while the download runs
// off the interface thread, and its Cancel ends the download at once, with no message and
// nothing saved or changed.
TEST_F(ConfigForm, VerificationKeepsTheWindowsAliveAndCancelSavesNothing) {
    const test::RunningSim stalling{VANTLE_SIM, {"--static", "--fault", "stall"}};
    c.providers[std::string(IinetDomain)] = stalling.urlTemplate;
    test::writeFile(c.trayHintFile, "hint");
    const auto dialog = opened();
    Controls controls(*dialog);
    fill(controls, "demo", "demo");

    std::set<int> frames;
    bool cancelled = false;
    QTimer watcher;
    watcher.setInterval(50);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* wait = qobject_cast<TwaitFrm*>(visibleTopLevel("waitFrm"));
        if (wait == nullptr || cancelled)
            return;
        frames.insert(wait->frameIndex());
        auto* cancel = wait->findChild<QPushButton*>(QStringLiteral("cancelBtn"));
        if (frames.size() >= 5 && cancel != nullptr && cancel->isVisible()) {
            cancelled = true;
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
    });
    watcher.start();
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(save(controls), std::nullopt) << "a cancel shows no message";
    watcher.stop();

    EXPECT_TRUE(cancelled);
    EXPECT_GE(frames.size(), 5u) << "the star kept turning while the provider stalled";
    // The provider holds its answer for 90 seconds; the cancel did not wait for it.
    EXPECT_LT(took.elapsed(), 60000);
    EXPECT_EQ(visibleTopLevel("waitFrm"), nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isEnabled());
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(c.username, "");
    EXPECT_EQ(test::readFile(c.trayHintFile), "hint");
    EXPECT_FALSE(hasUsageDocuments());
}

TEST_F(ConfigForm, ConfigureSavesOnlyAfterASuccessfulSave) {
    struct Case {
        const char* name;
        bool save; // else Escape
        bool expected;
    };
    for (const Case& k : {Case{"escape", false, false}, Case{"save", true, true}}) {
        SCOPED_TRACE(k.name);
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TconfigFrm*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                ADD_FAILURE() << "no dialog showing";
                return;
            }
            if (!QTest::qWaitForWindowActive(dialog))
                ADD_FAILURE() << "the dialog did not become active";
            Controls controls(*dialog);
            fill(controls, "demo", "demo");
            if (k.save)
                save(controls);
            else
                QTest::keyClick(dialog, Qt::Key_Escape);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the dialog stayed open";
                dialog->reject();
            }
        });
        EXPECT_EQ(configure(c), k.expected);
        EXPECT_EQ(fs::exists(c.configFile), k.expected);
        EXPECT_EQ(c.username, k.expected ? "demo" : "");
    }
    Tconfiguration reread;
    reread.load();
    EXPECT_EQ(reread.username, "demo");
    EXPECT_EQ(reread.password, "demo");
}
