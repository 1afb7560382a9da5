#pragma once
// The window's interaction with the hooks tests need: message boxes answered in advance
// (without being shown), every box asked for recorded, the desktop replaced for shell open,
// and the sound files handed to the player recorded. Everything else is the real
// GuiInteraction.

#include <QString>
#include <QStringList>
#include <QThread>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "app/GuiInteraction.h"
#include "app/QtText.h"

namespace ovx::testing {

class TestInteraction : public GuiInteraction {
  public:
    struct Message {
        QString text;
        QString caption;
        int flags = 0;
    };

    // The next boxes are answered with these buttons in order, without being shown.
    void PreAnswer(int button) {
        std::lock_guard lock(mutex_);
        preAnswers_.push_back(button);
    }
    // Every box asked for so far, shown or pre-answered.
    std::vector<Message> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // Replaces the desktop for ShellOpen: receives the verb and the target as given, on the
    // window's thread.
    void SetShellOpenHandler(std::function<bool(int verb, const QString& target)> handler) {
        std::lock_guard lock(mutex_);
        shellOpenHandler_ = std::move(handler);
    }
    // Files handed to the player so far (after the empty names were dropped).
    QStringList PlayedFiles() const {
        std::lock_guard lock(mutex_);
        return playedFiles_;
    }

    int ShowMessage(const Text& content, int flags, const Text& caption) override {
        {
            std::lock_guard lock(mutex_);
            if (messages_.size() < 1000)
                messages_.push_back({ToQString(content), CaptionOrDefault(caption), flags});
            if (!preAnswers_.empty()) {
                const int answer = preAnswers_.front();
                preAnswers_.pop_front();
                return answer;
            }
        }
        return GuiInteraction::ShowMessage(content, flags, caption);
    }

    bool ShellOpen(int verb, const Text& target, const Text& parameters, const Text& folder,
                   int showMode) override {
        std::function<bool(int, const QString&)> handler;
        {
            std::lock_guard lock(mutex_);
            handler = shellOpenHandler_;
        }
        if (!handler) return GuiInteraction::ShellOpen(verb, target, parameters, folder, showMode);
        const QString where = ToQString(target);
        if (where.isEmpty()) return false;
        if (QThread::currentThread() == thread()) return handler(verb, where);
        QMetaObject::invokeMethod(
            this, [handler, verb, where] { handler(verb, where); }, Qt::QueuedConnection);
        return true;
    }

    void PlayMp3(int count, const std::vector<Text>& files) override {
        QStringList names;
        for (const Text& file : files)
            if (!file.empty()) names.append(ToQString(file));
        if (count > 0 && !names.isEmpty()) {
            std::lock_guard lock(mutex_);
            playedFiles_.append(names);
        }
        GuiInteraction::PlayMp3(count, files);
    }

  private:
    mutable std::mutex mutex_;
    std::deque<int> preAnswers_;
    std::vector<Message> messages_;
    std::function<bool(int, const QString&)> shellOpenHandler_;
    QStringList playedFiles_;
};

}  // namespace ovx::testing
