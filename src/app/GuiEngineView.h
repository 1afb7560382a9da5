#pragma once
// The window's side of the engine view: the catalogue and the download job call it from their
// worker threads, and every call reaches the widgets on the window's thread, in the order it
// was made. Writes are posted and return at once; reads wait for the window's answer; message
// boxes go through the installed Interaction, whose boxes a worker gives up (with the box's
// cancel answer) once its job is asked to stop.
//
// Shutdown() ends all of that: later writes are dropped, reads and boxes return their defaults
// at once, and workers waiting for a read are released. The window calls it before it waits
// for its workers, so no worker can be left waiting on a window that no longer answers.

#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "catalogue/EngineView.h"

namespace ovx {

class AlbumsPage;
class OptionsPage;

class GuiEngineView : public QObject, public EngineView {
    Q_OBJECT

  public:
    // Create it on the window's thread; the pages must outlive it.
    GuiEngineView(AlbumsPage* albums, OptionsPage* options, QObject* parent = nullptr);
    ~GuiEngineView() override;

    // Where the run-state reports of the engine go (on the window's thread); without a
    // handler they are applied to nothing.
    void SetRunStateHandler(std::function<void(RunState)> handler);
    // What turns the window to its login page when the service wants a login.
    void SetLoginPageHandler(std::function<void()> handler) {
        loginPageHandler_ = std::move(handler);
    }
    // Runs `work` on the window's thread after every call made before it; dropped after
    // Shutdown(). Any thread.
    void RunOnWindow(std::function<void()> work);
    // Window thread.
    void Shutdown();
    bool IsShutDown() const;

    void SetLabel(ViewLabel label, const Text& text) override;
    // From here on the session is a visitor's: the user label says so.
    void MarkVisitor();
    void SetProgress(int position, int maximum) override;
    void AppendLog(const Text& text) override;
    int ShowMessage(const Text& content, int flags, const OptText& caption) override;
    void PlayFinishingSound() override;
    void SetRunState(RunState state) override;

    void ClearAlbums() override;
    void AddAlbum(const AlbumRow& row) override;
    std::vector<AlbumListEntry> ReadAlbums() override;

    Text ReadHomePageAddress() override;
    bool ReadCoversWanted() override;
    bool ReadDownloadRecord() override;
    bool ReadTimeRange() override;
    AlbumOptions ReadAlbumOptions() override;
    NamingOptions ReadNamingOptions() override;
    std::optional<Text> ReadProtocolChoice() override;
    void ShowLoginPage() override;
    // On the status line above the album list; its text comes back when the wait ends.
    void ShowWait(const Text& text) override;

  private:
    template <class T>
    T Ask(const std::function<T()>& read, T fallback);
    bool OnWindowThread() const;

    QPointer<AlbumsPage> albums_;
    QPointer<OptionsPage> options_;
    std::function<void(RunState)> runStateHandler_;  // window thread only
    std::function<void()> loginPageHandler_;         // window thread only
    QString textBeforeWait_;                         // window thread only
    bool waiting_ = false;                           // window thread only

    mutable std::mutex mutex_;
    std::condition_variable answered_;
    bool shutDown_ = false;
    int waiters_ = 0;  // workers waiting in Ask
    std::atomic<bool> visitor_{false};
};

}  // namespace ovx
