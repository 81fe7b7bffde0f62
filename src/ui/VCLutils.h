// The program's modal message boxes: a text with the icon and sound of a message kind and up to
// three buttons captioned by the caller, and the error box every failure shown to the user uses.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <optional>

namespace vantle {

enum class TmessageKind { warning, error, information, confirmation, custom };

// What MessageDialog returns: the button pressed, or closed with the window's close box.
inline constexpr int firstButtonResult = 100;
inline constexpr int secondButtonResult = 101;
inline constexpr int thirdButtonResult = 102;
inline constexpr int closedResult = 2;
// The middle button of a box given a third button but no second keeps the toolkit's "&No"
// and this result.
inline constexpr int noButtonResult = 7;

// Shows the box modally, centred on the screen, captioned "<application> - <kind word>", and
// returns when the user has closed it. Empty button2 or button3 leave those buttons out, except
// that a button3 brings the middle button along. The first button is the default; Escape
// presses the last of two or three buttons and does nothing with one.
int MessageDialog(const QString& text, TmessageKind kind, const QString& button1,
                  const QString& button2 = {}, const QString& button3 = {});
// An error box with the single button "OK".
void ErrorBox(const QString& text);
// The desktop's alert sound; the kind cannot choose another here.
void MessageSound(TmessageKind kind);
// Ends any busy state: the screen cursor goes back to the default.
void EndBusy();

namespace VCLutils {

// What a MessageDialog showed, or would have shown when answered by setNextResult.
struct TshownMessage {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // captions from left to right
};

// Tests only: the next MessageDialog returns result at once without showing its box.
// Forgets the last message recorded.
void setNextResult(int result);
// The last box built since the previous setNextResult, shown or answered.
std::optional<TshownMessage> lastMessage();

} // namespace VCLutils

} // namespace vantle
