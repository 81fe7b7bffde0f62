// Message boxes on QMessageBox: the buttons are laid out Yes, No, Cancel on every desktop, and
// the close box and Escape answer as the program's callers expect rather than as Qt would.
#include "ui/VCLutils.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <utility>

namespace vantle {
namespace {

std::optional<int> nextResult;
std::optional<VCLutils::TshownMessage> recorded;

class TmessageBox : public QMessageBox {
public:
    bool escapeIgnored = false;

protected:
    // QMessageBox would press its escape button; closing the window is an answer of its own.
    void closeEvent(QCloseEvent* event) override {
        QDialog::closeEvent(event); // NOLINT(bugprone-parent-virtual-call): skips that press
    }

    void keyPressEvent(QKeyEvent* event) override {
        if (escapeIgnored && event->matches(QKeySequence::Cancel))
            return;
        QMessageBox::keyPressEvent(event);
    }
};

QMessageBox::Icon kindIcon(TmessageKind kind) {
    switch (kind) {
    case TmessageKind::warning:
        return QMessageBox::Warning;
    case TmessageKind::error:
        return QMessageBox::Critical;
    case TmessageKind::information:
        return QMessageBox::Information;
    case TmessageKind::confirmation:
        return QMessageBox::Question;
    case TmessageKind::custom:
        break;
    }
    return QMessageBox::NoIcon;
}

QString kindCaption(TmessageKind kind) {
    switch (kind) {
    case TmessageKind::warning:
        return QStringLiteral("Warning");
    case TmessageKind::error:
        return QStringLiteral("Error");
    case TmessageKind::information:
        return QStringLiteral("Information");
    case TmessageKind::confirmation:
        return QStringLiteral("Confirm");
    case TmessageKind::custom:
        break;
    }
    return QGuiApplication::applicationDisplayName();
}

// Callers write line breaks the platform's way or the portable way; the label knows only "\n".
QString withLineFeeds(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

int MessageDialog(const QString& text, TmessageKind kind, const QString& button1,
                  const QString& button2, const QString& button3) {
    EndBusy();
    MessageSound(kind);

    TmessageBox box;
    box.setIcon(kindIcon(kind));
    box.setWindowTitle(QGuiApplication::applicationDisplayName() + QStringLiteral(" - ") +
                       kindCaption(kind));
    // Failure texts can come from the network: never let one pass for markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(withLineFeeds(text));

    // One role for all keeps the buttons in the order added whatever the desktop's convention.
    const int count = !button3.isEmpty() ? 3 : !button2.isEmpty() ? 2 : 1;
    const std::array<std::pair<const char*, QString>, 3> buttons{{
        {"Yes", button1},
        {"No", button2.isEmpty() ? QCoreApplication::translate("QPlatformTheme", "&No") : button2},
        {"Cancel", button3},
    }};
    std::array<QPushButton*, 3> added{};
    int width = 0;
    for (int i = 0; i < count; ++i) {
        added[i] = box.addButton(buttons[i].second, QMessageBox::ActionRole);
        added[i]->setObjectName(QLatin1String(buttons[i].first));
        width = std::max(width, added[i]->sizeHint().width());
    }
    for (int i = 0; i < count; ++i)
        added[i]->setMinimumWidth(width);
    box.setDefaultButton(added[0]);
    if (count > 1)
        box.setEscapeButton(added[count - 1]);
    box.escapeIgnored = count == 1;

    VCLutils::TshownMessage shown{box.windowTitle(), box.text(), box.icon(), {}};
    for (int i = 0; i < count; ++i)
        shown.buttons.append(added[i]->text());
    recorded = std::move(shown);
    if (nextResult) {
        return std::exchange(nextResult, std::nullopt).value();
    }

    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == nullptr)
        return closedResult;
    if (clicked == added[0])
        return firstButtonResult;
    if (clicked == added[1])
        return button2.isEmpty() ? noButtonResult : secondButtonResult;
    return thirdButtonResult;
}

void ErrorBox(const QString& text) {
    MessageDialog(text, TmessageKind::error, QStringLiteral("OK"));
}

void MessageSound(TmessageKind) {
    QApplication::beep();
}

void EndBusy() {
    while (QGuiApplication::overrideCursor() != nullptr)
        QGuiApplication::restoreOverrideCursor();
}

namespace VCLutils {

void setNextResult(int result) {
    nextResult = result;
    recorded.reset();
}

std::optional<TshownMessage> lastMessage() {
    return recorded;
}

} // namespace VCLutils

} // namespace vantle
