#include "app/FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <deque>
#include <mutex>

#include "app/QtText.h"

namespace ovx {

namespace {

std::mutex gMutex;
std::deque<OptText> gPreAnswers;
QStringList gAskedTitles;

// Records the request; true with `answer` set when a pre-answer was queued.
bool TakePreAnswer(const QString& title, OptText& answer) {
    std::lock_guard lock(gMutex);
    gAskedTitles.append(title);
    if (gPreAnswers.empty()) return false;
    answer = gPreAnswers.front();
    gPreAnswers.pop_front();
    return true;
}

// `initial` when it names an existing folder (or the folder of an existing file), else home.
QString StartFolder(const Text& initial) {
    const QFileInfo info(ToQString(initial));
    if (!initial.empty() && info.isDir()) return info.absoluteFilePath();
    if (!initial.empty() && info.dir().exists()) return info.dir().absolutePath();
    return QDir::homePath();
}

}  // namespace

Text FileDialogs::ChooseFolder(QWidget* parent, const QString& title, const Text& initial) {
    OptText answer;
    if (TakePreAnswer(title, answer)) return answer.value_or(Text());
    const QString chosen = QFileDialog::getExistingDirectory(parent, title, StartFolder(initial),
                                                             QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? Text() : FromQString(QDir::toNativeSeparators(chosen));
}

Text FileDialogs::ChooseFile(QWidget* parent, const QString& title, const Text& initial) {
    OptText answer;
    if (TakePreAnswer(title, answer)) return answer.value_or(Text());
    const QString chosen = QFileDialog::getOpenFileName(
        parent, title, StartFolder(initial), QStringLiteral("MP3 (*.mp3 *.MP3);;所有文件 (*)"));
    return chosen.isEmpty() ? Text() : FromQString(QDir::toNativeSeparators(chosen));
}

void FileDialogs::PreAnswer(const OptText& answer) {
    std::lock_guard lock(gMutex);
    gPreAnswers.push_back(answer);
}

void FileDialogs::ClearPreAnswers() {
    std::lock_guard lock(gMutex);
    gPreAnswers.clear();
    gAskedTitles.clear();
}

QStringList FileDialogs::AskedTitles() {
    std::lock_guard lock(gMutex);
    return gAskedTitles;
}

}  // namespace ovx
