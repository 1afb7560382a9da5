#pragma once
// Background playback of MP3 files for the finishing sound: the files play one after another,
// the whole list `count` times. Files that do not exist or cannot be decoded are skipped
// without a word. Lives on the window's thread.

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <deque>

class QAudioOutput;
class QMediaPlayer;

namespace ovx {

class GuiInteractionPlayer : public QObject {
    Q_OBJECT
  public:
    explicit GuiInteractionPlayer(QObject* parent = nullptr);
    ~GuiInteractionPlayer() override;

    // Replaces whatever is playing. Returns the number of files queued.
    int Play(int count, const QStringList& files);
    void Stop();

  private:
    void PlayNext();

    QMediaPlayer* player_ = nullptr;
    QAudioOutput* output_ = nullptr;
    std::deque<QUrl> queue_;
};

}  // namespace ovx
