#pragma once
// Appending to a log box: the text goes at the very end whatever the user selected, log line
// breaks (CR LF) become the editor's, and the box scrolls to show the new end.

#include <QString>

class QWidget;

namespace ovx {

// `box` may be a QPlainTextEdit, a QTextEdit or a QLineEdit; anything else is left alone.
void AppendToLogBox(QWidget* box, const QString& text);

}  // namespace ovx
