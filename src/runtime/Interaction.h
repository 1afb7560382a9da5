#pragma once
// The operations that reach the user: message boxes, event pumping, appending to an edit
// box, opening files and addresses with the desktop, and playing a sound. The window
// implements this interface; ConsoleInteraction serves the command line and the tests.

#include <string>
#include <vector>

#include "runtime/Text.h"

namespace ovx {

// Buttons ShowMessage reports: 0 OK, 1 Cancel, 2 Abort, 3 Retry, 4 Ignore, 5 Yes, 6 No.
enum MessageButton : int { kOk = 0, kCancel, kAbort, kRetry, kIgnore, kYes, kNo };

// Message-box flags (the platform's values).
inline constexpr int kMbOk = 0x0;
inline constexpr int kMbOkCancel = 0x1;
inline constexpr int kMbYesNo = 0x4;
inline constexpr int kMbIconError = 0x10;
inline constexpr int kMbIconQuestion = 0x20;
inline constexpr int kMbIconWarning = 0x30;
inline constexpr int kMbIconInformation = 0x40;
inline constexpr int kMbSystemModal = 0x1000;
inline constexpr int kMbTaskModal = 0x2000;

class Interaction {
public:
    virtual ~Interaction() = default;
    // Blocks the calling thread until the box is answered; returns a MessageButton.
    virtual int ShowMessage(const Text& content, int flags, const Text& caption) = 0;
    virtual void ProcessEvents() = 0;
    // `editBox` is the object name of the edit box.
    virtual void AppendEditText(const std::string& editBox, const std::vector<Text>& texts) = 0;
    // verb: 1 edit, 2 explore, 3 find, 4 open, 5 print, else the default; true when started.
    virtual bool ShellOpen(int verb, const Text& target, const Text& parameters,
                           const Text& workingFolder, int showMode) = 0;
    virtual void PlayMp3(int count, const std::vector<Text>& files) = 0;
};

// Writes messages and appended texts to standard error (as UTF-8), answers every message box
// with `answer`, and records nothing else. Safe from any thread.
class ConsoleInteraction : public Interaction {
public:
    explicit ConsoleInteraction(int answer = kOk) : answer_(answer) {}
    int ShowMessage(const Text& content, int flags, const Text& caption) override;
    void ProcessEvents() override {}
    void AppendEditText(const std::string& editBox, const std::vector<Text>& texts) override;
    bool ShellOpen(int verb, const Text& target, const Text& parameters, const Text& workingFolder,
                   int showMode) override;
    void PlayMp3(int count, const std::vector<Text>& files) override;

private:
    int answer_;
};

// The process-wide implementation; a ConsoleInteraction until one is installed. The caller
// keeps ownership and must keep it alive while installed.
Interaction& CurrentInteraction();
void InstallInteraction(Interaction* interaction);

// Free-function forms that go through CurrentInteraction().
int ShowMessage(const Text& content, int flags = kMbOk, const OptText& caption = std::nullopt);
void ProcessEvents();
void AppendEditText(const std::string& editBox, const std::vector<Text>& texts);
bool ShellOpen(int verb, const Text& target, const Text& parameters = Text(),
               const Text& workingFolder = Text(), int showMode = 1);
void PlayMp3(int count, const std::vector<Text>& files);

}  // namespace ovx
