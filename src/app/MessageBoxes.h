#pragma once
// Message boxes as the runtime asks for them: the platform's flag values (buttons in the low
// four bits, the icon in the next four, the default button in the third hex digit) turned into
// a Qt box, and the button the user chose turned back into a MessageButton.

#include <QString>

class QMessageBox;

namespace ovx {

// An application-modal box for `flags`, not yet shown; the caller owns it.
QMessageBox* MakeMessageBox(const QString& text, const QString& caption, int flags);
// The answer of a box that has finished; the cancel answer when it was closed without a choice.
int AnswerOfMessageBox(const QMessageBox* box, int flags);
// The button a box reports when it is closed without a choice, for the given flags.
int CancelAnswerFor(int flags);

}  // namespace ovx
