#pragma once
// The buttons of the first two pages that run the engine: "下载此用户", "2：获取相册", the
// album-page button, and the four download buttons. Every request runs on a worker thread
// (the window never waits on the network); the workers talk to the window through a
// GuiEngineView. One album-list run at a time and one download at a time.
//
// Download buttons, by run state (only one of the first three is shown at a time, in one
// place):
//   Running  (start; continue)  download hidden, pause shown, continue hidden,
//                               end shown on start, unchanged on continue
//   Paused   (pause)            download hidden, pause hidden, continue shown, end unchanged
//   Idle     (completion; stop) download shown, pause, continue and end hidden
// The buttons switch at once on a click; the engine reports the end of a run.

#include <QObject>
#include <chrono>
#include <memory>
#include <vector>

#include "catalogue/EngineView.h"
#include "catalogue/Protocol.h"
#include "runtime/Text.h"
#include "web/RequestGovernor.h"

namespace ovx {

class AlbumsPage;
class Catalogue;
class CookieStore;
class VisitorSession;
class GuiEngineView;
class JobControl;
class LoginPage;
class OptionsPage;
class TabControl;
class WorkerThread;

class EngineDriver : public QObject {
    Q_OBJECT

  public:
    struct Controls {
        TabControl* tabs = nullptr;
        LoginPage* login = nullptr;
        AlbumsPage* albums = nullptr;
        OptionsPage* options = nullptr;
    };

    // Where the service is, and the window's session: the cookie store its browser feeds and
    // the pacing, shared by its runs. The driver and its workers keep the store alive.
    // `visitor`, when given, is the site's visitor access the session falls back on.
    EngineDriver(const Controls& controls, ServiceSettings service, GovernorSettings pacing,
                 std::shared_ptr<CookieStore> cookies, std::shared_ptr<VisitorSession> visitor,
                 QObject* parent = nullptr);
    // Stops and waits, as StopAndWait() without pumping.
    ~EngineDriver() override;

    // Stops every run of this window (a download stops at its next step; boxes its workers
    // wait in go away) and waits up to `grace` for its workers to end, processing the window's
    // events meanwhile when `pump` is set. Afterwards the buttons do nothing. True when every
    // worker ended.
    bool StopAndWait(std::chrono::milliseconds grace, bool pump);

    RunState State() const { return state_; }
    // A download worker exists and has not ended yet.
    bool DownloadRunning() const;
    // An album-list or album-page worker has not ended yet.
    bool CatalogueRunning() const;
    GuiEngineView& View() { return *view_; }
    // The window session's governor, which every run of the window shares.
    const RequestGovernor& Governor() const { return *governor_; }

    // The button actions.
    void DownloadThisUser();  // 按钮_下载此用户
    void GetAlbums();         // 按钮_获取相册封面
    void ShowAlbumPage();     // 按钮_专辑页面
    void StartDownload();     // 按钮_下载选中
    void Pause();             // 按钮_暂停线程
    void Continue();          // 按钮_继续下载
    void End();               // 按钮_结束下载

  private:
    void StartCatalogueRun();
    void ApplyRunState(RunState state, bool showEnd);
    void OnEngineRunState(RunState state);
    void Keep(std::shared_ptr<WorkerThread> worker);

    Controls c_;
    ServiceSettings service_;
    // The session: shared with the workers, so that one the shutdown gives up on still has it.
    std::shared_ptr<CookieStore> cookies_;
    std::shared_ptr<VisitorSession> visitor_;
    std::shared_ptr<RequestGovernor> governor_;
    std::unique_ptr<GuiEngineView> view_;
    std::unique_ptr<Catalogue> catalogue_;
    std::shared_ptr<JobControl> control_;
    std::shared_ptr<WorkerThread> downloadWorker_;
    std::vector<std::shared_ptr<WorkerThread>> workers_;  // catalogue and album-page runs
    RunState state_ = RunState::Idle;
    bool closed_ = false;
};

}  // namespace ovx
