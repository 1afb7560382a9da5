#pragma once
// The window's side of the runtime's user interaction: message boxes, event pumping, the log
// box, shell open and the finishing sound. Any thread may call it; everything that touches a
// widget runs on the window's thread. A worker that shows a message box waits until the box
// is answered, until Shutdown(), or until its job is asked to stop (its box then goes away
// and reports its cancel answer), without holding up the window.
//
// This class only carries each call to the window's thread; the boxes themselves are
// MessageBoxes.h, the log box LogBox.h, the desktop DesktopOpen.h and the sound
// GuiInteractionPlayer.h. Tests derive from it to pre-answer boxes and record calls.
//
// Create it on the window's thread and install it with InstallInteraction().

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/Interaction.h"

class QWidget;
class QMessageBox;

namespace ovx {

class GuiInteractionPlayer;

class GuiInteraction : public QObject, public Interaction {
    Q_OBJECT
  public:
    explicit GuiInteraction(QObject* parent = nullptr);
    ~GuiInteraction() override;

    // Edit boxes named in AppendEditText are looked up below `root` (all top-level windows
    // when none is set).
    void SetRoot(QWidget* root);

    int ShowMessage(const Text& content, int flags, const Text& caption) override;
    void ProcessEvents() override;
    void AppendEditText(const std::string& editBox, const std::vector<Text>& texts) override;
    bool ShellOpen(int verb, const Text& target, const Text& parameters, const Text& workingFolder,
                   int showMode) override;
    void PlayMp3(int count, const std::vector<Text>& files) override;

    // Answers every waiting message box with its cancel answer, closes open boxes, and makes
    // later boxes return at once. Called when the window closes.
    void Shutdown();

    // The button a box reports when it is closed without a choice, for the given flags.
    static int CancelAnswer(int flags);
    // The caption a box gets when none is given ("信息：").
    static QString CaptionOrDefault(const Text& caption);

  private:
    struct Pending;
    int ShowOnGuiThread(const QString& text, const QString& caption, int flags);
    void OpenBoxFor(const std::shared_ptr<Pending>& pending);
    void AppendOnGuiThread(const QString& editBox, const QString& text);
    void PlayOnGuiThread(int count, const QStringList& files);
    QWidget* FindEditBox(const QString& name);

    mutable std::mutex mutex_;
    std::condition_variable answered_;
    int waiters_ = 0;                                // workers inside ShowMessage
    std::vector<std::shared_ptr<Pending>> pending_;  // boxes workers are waiting on
    bool shutDown_ = false;

    QPointer<QWidget> root_;
    QHash<QString, QPointer<QWidget>> editBoxes_;   // window thread only
    std::vector<QPointer<QMessageBox>> openBoxes_;  // window thread only
    GuiInteractionPlayer* player_ = nullptr;
};

}  // namespace ovx
