// The configuration dialog: the account's user name, domain and password, verified with a real
// download before they are taken over, and whether the program starts when the user logs in.
#pragma once

#include <QColor>
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantle {

class Tconfiguration;
class TnotifyGroup;
struct TaccountInput;

// Shows the dialog modally for the configuration and writes the settings file when it closed
// after a successful Save; returns whether it did.
bool configure(Tconfiguration& configuration);

class TconfigFrm : public QDialog {
    Q_OBJECT

public:
    // Filled from the configuration, which the dialog changes only after a successful Save.
    explicit TconfigFrm(Tconfiguration& configuration);

    // An edit holds a value when its text has this colour; any other colour is a placeholder.
    static QColor valueColour();
    static QColor placeholderColour();

public slots:
    void usernameEditEnter();
    void usernameEditExit();
    void passwordEditEnter();
    void passwordEditExit();
    // Checks, verifies and takes the account over; a failure is shown and the dialog stays.
    void saveBtnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    // Verifies the account behind the wait window, whose Cancel stops the download: true when
    // it was verified, false when cancelled; raises any other failure.
    bool verifyOffThread(const TaccountInput& input);

    Tconfiguration& configuration;

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* usernameEdit;
    QComboBox* domainEdit;
    QLineEdit* passwordEdit;
    QPushButton* saveBtn;
    QPushButton* cancelBtn;
    QCheckBox* runOnLoginCB;
    TnotifyGroup* notifyGroup;
};

} // namespace vantle
