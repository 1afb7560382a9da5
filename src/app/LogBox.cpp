#include "app/LogBox.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextEdit>

namespace ovx {
namespace {

// Log lines end in CR LF; an editor takes a bare line feed as its line break.
QString NormaliseBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

template <class Editor>
void AppendAtEnd(Editor* editor, const QString& text) {
    editor->moveCursor(QTextCursor::End);
    editor->insertPlainText(NormaliseBreaks(text));
    editor->moveCursor(QTextCursor::End);
    editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum());
}

}  // namespace

void AppendToLogBox(QWidget* box, const QString& text) {
    if (auto* plain = qobject_cast<QPlainTextEdit*>(box)) {
        AppendAtEnd(plain, text);
    } else if (auto* rich = qobject_cast<QTextEdit*>(box)) {
        AppendAtEnd(rich, text);
    } else if (auto* line = qobject_cast<QLineEdit*>(box)) {
        line->setText(line->text() + text);
        line->end(false);
    }
}

}  // namespace ovx
