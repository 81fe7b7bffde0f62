// The configuration dialog: hand-placed controls, grey placeholder texts told apart from values
// by their colour, and a Save that verifies the account behind the wait window.
#include "ui/config_form.h"

#include "config/configuration.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Strings.h"
#include "ui/VCLutils.h"
#include "ui/notifyGroup.h"
#include "ui/wait_form.h"
#include "usage/accountSetup.h"
#include "usage/failures.h"
#include "usage/providers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QFocusEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QThread>

#include <atomic>
#include <exception>
#include <memory>
#include <string>

namespace vantle {
namespace {

constexpr int clientWidth = 361;
// With a row for the notifications below the start-at-login box.
constexpr int notifyTop = 84;
constexpr int clientHeight = 133 + 22;

const QString usernamePlaceholder = QStringLiteral("username");
const QString passwordPlaceholder = QStringLiteral("password");

QFont formFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Sans Serif")});
    font.setPixelSize(11);
    return font;
}

void setTextColour(QLineEdit* edit, const QColor& colour) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Text, colour);
    edit->setPalette(palette);
}

bool holdsValue(const QLineEdit* edit) {
    return edit->palette().color(QPalette::Text) == TconfigFrm::valueColour();
}

std::string valueOf(const QLineEdit* edit) {
    return holdsValue(edit) ? runtime::Trim(edit->text().toStdString()) : std::string();
}

// Focus that goes to another window and comes back has not left the edit.
bool leftTheEdit(const QEvent* event) {
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

} // namespace

bool configure(Tconfiguration& configuration) {
    TconfigFrm dialog(configuration);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    configuration.save();
    return true;
}

TconfigFrm::TconfigFrm(Tconfiguration& configuration_)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint)
    , configuration(configuration_)
    , Label1(new QLabel(QStringLiteral("Username:"), this))
    , Label2(new QLabel(QStringLiteral("Password:"), this))
    , Label3(new QLabel(QStringLiteral("@"), this))
    , usernameEdit(new QLineEdit(this))
    , domainEdit(new QComboBox(this))
    , passwordEdit(new QLineEdit(this))
    , saveBtn(new QPushButton(QStringLiteral("Save"), this))
    , cancelBtn(new QPushButton(QStringLiteral("Cancel"), this))
    , runOnLoginCB(new QCheckBox(QStringLiteral("Start vantle when I log in"), this))
    , notifyGroup(new TnotifyGroup(configuration.notifications, this)) {
    setObjectName(QStringLiteral("configFrm"));
    setWindowTitle(QStringLiteral("vantle - Configuration"));
    setFont(formFont());
    setFixedSize(clientWidth, clientHeight);

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 11, 75, 13);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 38, 75, 13);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(215, 11, 10, 13);

    usernameEdit->setObjectName(QStringLiteral("usernameEdit"));
    usernameEdit->setGeometry(88, 8, 121, 21);
    domainEdit->setObjectName(QStringLiteral("domainEdit"));
    domainEdit->setGeometry(231, 8, 122, 21);
    for (const std::string& domain : accountDomains())
        domainEdit->addItem(QString::fromStdString(domain));
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    passwordEdit->setGeometry(88, 35, 121, 21);
    // The toolkit's own mask character differs between styles.
    passwordEdit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    runOnLoginCB->setObjectName(QStringLiteral("runOnLoginCB"));
    runOnLoginCB->setGeometry(88, 62, 265, 17);
    saveBtn->setObjectName(QStringLiteral("saveBtn"));
    notifyGroup->move(8, notifyTop);
    saveBtn->setGeometry(197, clientHeight - 33, 75, 25);
    saveBtn->setDefault(true);
    cancelBtn->setObjectName(QStringLiteral("cancelBtn"));
    cancelBtn->setGeometry(278, clientHeight - 33, 75, 25);

    setTabOrder(usernameEdit, domainEdit);
    setTabOrder(domainEdit, passwordEdit);
    setTabOrder(passwordEdit, saveBtn);
    setTabOrder(saveBtn, cancelBtn);
    setTabOrder(cancelBtn, runOnLoginCB);
    setTabOrder(runOnLoginCB, notifyGroup->notifyCB);

    connect(saveBtn, &QPushButton::clicked, this, &TconfigFrm::saveBtnClick);
    connect(cancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    usernameEdit->installEventFilter(this);
    passwordEdit->installEventFilter(this);

    usernameEdit->setText(QString::fromStdString(configuration.username));
    setTextColour(usernameEdit, valueColour());
    domainEdit->setCurrentIndex(
        configuration.domain.empty()
            ? -1
            : domainEdit->findText(QString::fromStdString(configuration.domain),
                                   Qt::MatchFixedString));
    passwordEdit->setText(QString::fromStdString(configuration.password));
    runOnLoginCB->setChecked(configuration.runAtLogin());
    FormCreate();
}

QColor TconfigFrm::valueColour() {
    return QApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

QColor TconfigFrm::placeholderColour() {
    const QColor shadow = QApplication::palette().color(QPalette::Active, QPalette::Dark);
    // The two must differ, or a placeholder would read as a value.
    return shadow != valueColour() ? shadow : QColor(128, 128, 128);
}

void TconfigFrm::FormCreate() {
    usernameEditExit();
    passwordEditExit();
}

void TconfigFrm::usernameEditEnter() {
    if (usernameEdit->text() == usernamePlaceholder) {
        usernameEdit->clear();
        setTextColour(usernameEdit, valueColour());
    }
}

void TconfigFrm::usernameEditExit() {
    const std::string trimmed = runtime::Trim(usernameEdit->text().toStdString());
    if (trimmed.empty() || QString::fromStdString(trimmed) == usernamePlaceholder) {
        usernameEdit->setText(usernamePlaceholder);
        setTextColour(usernameEdit, placeholderColour());
    }
}

void TconfigFrm::passwordEditEnter() {
    if (passwordEdit->text() == passwordPlaceholder) {
        passwordEdit->clear();
        setTextColour(passwordEdit, valueColour());
        passwordEdit->setEchoMode(QLineEdit::Password);
    }
}

void TconfigFrm::passwordEditExit() {
    if (!passwordEdit->text().isEmpty() && passwordEdit->text() != passwordPlaceholder) {
        setTextColour(passwordEdit, valueColour());
        passwordEdit->setEchoMode(QLineEdit::Password);
    } else {
        passwordEdit->setEchoMode(QLineEdit::Normal);
        passwordEdit->setText(passwordPlaceholder);
        setTextColour(passwordEdit, placeholderColour());
    }
}

void TconfigFrm::saveBtnClick() {
    try {
        TaccountInput input;
        input.username = valueOf(usernameEdit);
        input.domain = domainEdit->currentIndex() < 0 ? std::string()
                                                      : domainEdit->currentText().toStdString();
        input.password = valueOf(passwordEdit);
        try {
            checkAccountInput(input);
        } catch (const std::exception& e) {
            // Each check's message says what to do already.
            ErrorBox(QString::fromStdString(e.what()));
            return;
        }
        try {
            if (!verifyOffThread(input))
                return; // cancelled: back to the dialog, nothing taken over
            applyAccount(configuration, input);
            configuration.setRunAtLogin(runOnLoginCB->isChecked());
            configuration.notifications = notifyGroup->settings();
            accept();
        } catch (const std::exception& e) {
            HideWait();
            ErrorBox(QString::fromStdString(failureMessage(e)));
        }
    } catch (const std::exception& e) {
        // Even the error box failed; nothing is left to show it with.
        runtime::outputDebugString(e.what());
    }
}

bool TconfigFrm::verifyOffThread(const TaccountInput& input) {
    // The download runs on a thread of its own while this one keeps the windows alive; the
    // thread gets a copy of the configuration, which a finished poll may reload meanwhile.
    std::shared_ptr<const Tconfiguration> trial = configuration.snapshot();
    std::atomic<bool> cancel{false};
    std::exception_ptr failure;
    QEventLoop loop;
    const std::unique_ptr<QThread> worker(QThread::create([trial, input, &cancel, &failure] {
        try {
            verifyAccount(*trial, input, &cancel);
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    ShowWaitCancellable(this, QStringLiteral("Verifying username and password"),
                        [&cancel] { cancel = true; });
    worker->start();
    loop.exec();
    // The loop also ends when the application quits; the download must not outlive it.
    if (!worker->isFinished()) {
        cancel = true;
        worker->wait();
    }
    HideWait();
    // A download that ended just as Cancel was pressed counts as cancelled too.
    if (cancel || failureKind(failure) == TfailureKind::cancelled)
        return false;
    if (failure)
        std::rethrow_exception(failure);
    return true;
}

bool TconfigFrm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == usernameEdit)
            usernameEditEnter();
        else if (watched == passwordEdit)
            passwordEditEnter();
    } else if (event->type() == QEvent::FocusOut && leftTheEdit(event)) {
        if (watched == usernameEdit)
            usernameEditExit();
        else if (watched == passwordEdit)
            passwordEditExit();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vantle
