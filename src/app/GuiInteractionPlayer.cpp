#include "app/GuiInteractionPlayer.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <algorithm>

namespace ovx {

namespace {
constexpr int kMaxRepeats = 100;  // a count is a user's number of plays, not a loop forever
}

GuiInteractionPlayer::GuiInteractionPlayer(QObject* parent) : QObject(parent) {}

GuiInteractionPlayer::~GuiInteractionPlayer() {
    Stop();
}

int GuiInteractionPlayer::Play(int count, const QStringList& files) {
    Stop();
    QList<QUrl> playable;
    for (const QString& file : files) {
        const QFileInfo info(file);
        if (info.isFile() && info.isReadable())
            playable.append(QUrl::fromLocalFile(info.absoluteFilePath()));
    }
    if (playable.isEmpty() || count <= 0) return 0;
    for (int i = 0; i < std::min(count, kMaxRepeats); ++i) {
        for (const QUrl& url : playable) queue_.push_back(url);
    }
    if (player_ == nullptr) {
        // Qt's GStreamer backend crashes on systems that lack some GStreamer plugins; the
        // FFmpeg backend carries its own decoders. Chosen before the first media object
        // exists, unless the user picked a backend.
        if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "ffmpeg");
        player_ = new QMediaPlayer(this);
        output_ = new QAudioOutput(this);
        player_->setAudioOutput(output_);
        connect(
            player_, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                // Later, not from inside the player's own notification.
                if (status == QMediaPlayer::EndOfMedia || status == QMediaPlayer::InvalidMedia) {
                    QMetaObject::invokeMethod(this, &GuiInteractionPlayer::PlayNext,
                                              Qt::QueuedConnection);
                }
            });
    }
    const int queued = static_cast<int>(queue_.size());
    PlayNext();
    return queued;
}

void GuiInteractionPlayer::Stop() {
    queue_.clear();
    if (player_ != nullptr) player_->stop();
}

void GuiInteractionPlayer::PlayNext() {
    if (player_ == nullptr) return;
    if (queue_.empty()) {
        player_->stop();
        return;
    }
    const QUrl next = queue_.front();
    queue_.pop_front();
    player_->setSource(next);
    player_->play();
}

}  // namespace ovx
