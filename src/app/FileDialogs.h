#pragma once
// The folder and file choosers. Each returns the chosen path, or "" when the user cancels.
// Tests pre-answer them: a queued answer is returned instead of showing a dialog.

#include <QString>
#include <QStringList>

#include "runtime/Text.h"

class QWidget;

namespace ovx {

class FileDialogs {
  public:
    // A folder chooser starting at `initial` (or the home folder when it does not exist).
    static Text ChooseFolder(QWidget* parent, const QString& title, const Text& initial);
    // An MP3 file chooser starting at `initial`'s folder.
    static Text ChooseFile(QWidget* parent, const QString& title, const Text& initial);

    // Test hooks. The next dialogs return these answers in order, without showing; an absent
    // answer stands for a cancelled dialog.
    static void PreAnswer(const OptText& answer);
    static void ClearPreAnswers();
    // Titles of the dialogs asked for since the last ClearPreAnswers(), shown or pre-answered.
    static QStringList AskedTitles();
};

}  // namespace ovx
