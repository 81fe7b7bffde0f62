// The about window: the product name, its picture, the version and a link to the maker's
// product page, which opens in the user's web browser.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;

namespace vantle {

class TaboutFrm : public QWidget {
    Q_OBJECT

public:
    // A window of its own, freed when it closes; verL shows its design text "version".
    TaboutFrm();
    // The same, with SetVersion(versionText) done.
    explicit TaboutFrm(const QString& versionText);

    // verL shows "v" and the text.
    void SetVersion(const QString& text);

    // Runs once when the window closes; the shell clears the about window's instance entry.
    std::function<void()> onClosed;

    // The maker's product page, and the text the link shows: the address without its scheme.
    static QString productPageUrl();
    static QString productPageText();

public slots:
    // Opens the product page; a failure is shown and the window stays.
    void urlLClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormClose();
    void layOut();

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Image1;
    QLabel* verL;
    QLabel* urlL;
};

} // namespace vantle
