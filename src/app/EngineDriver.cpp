#include "app/EngineDriver.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <thread>

#include "app/AlbumsPage.h"
#include "app/GuiEngineView.h"
#include "app/GuiPumpingDelay.h"
#include "app/LoginPage.h"
#include "app/OptionsPage.h"
#include "app/QtText.h"
#include "app/StartUp.h"
#include "app/TabControl.h"
#include "app/WorkerThread.h"
#include "catalogue/Catalogue.h"
#include "download/DownloadJob.h"
#include "download/JobControl.h"
#include "runtime/CodePage.h"
#include "runtime/ProgramFolder.h"
#include "runtime/SettingsFile.h"
#include "web/CookieStore.h"
#include "web/UrlHelpers.h"
#include "web/VisitorSession.h"

namespace ovx {
namespace {

constexpr int kAlbumsPageIndex = 1;
// "下载此用户" lets the window settle this long before the resolution starts.
constexpr int kSettleMs = 100;
// A stopped download ends within its step; a new start waits this long for it.
constexpr auto kPreviousRunGrace = std::chrono::seconds(10);

bool Running(const std::shared_ptr<WorkerThread>& worker) {
    return worker && !worker->Finished();
}

}  // namespace

EngineDriver::EngineDriver(const Controls& controls, ServiceSettings service,
                           GovernorSettings pacing, std::shared_ptr<CookieStore> cookies,
                           std::shared_ptr<VisitorSession> visitor, QObject* parent)
    : QObject(parent),
      c_(controls),
      service_(std::move(service)),
      cookies_(std::move(cookies)),
      visitor_(std::move(visitor)),
      governor_(std::make_shared<RequestGovernor>(pacing)),
      view_(std::make_unique<GuiEngineView>(controls.albums, controls.options)) {
    service_.photoService = WithoutTrailingSlash(service_.photoService);
    service_.homePage = WithoutTrailingSlash(service_.homePage);
    service_.imageService = WithoutTrailingSlash(service_.imageService);
    catalogue_ = std::make_unique<Catalogue>(*view_, service_,
                                             SessionContext{*cookies_, *governor_, visitor_.get()});
    if (visitor_) {
        // Said once a session, on the log and the status line; the login page stays a click
        // away.
        GuiEngineView* view = view_.get();
        visitor_->SetNotice([view] {
            const Text line =
                "未登录：以网站的访客身份继续（仅粉丝可见的微博不在其中），登录请到第一页"_t;
            view->MarkVisitor();
            view->AppendLog(line + Text("\r\n"));
            view->SetLabel(ViewLabel::Status, line);
        });
    }
    view_->SetLoginPageHandler([this] { c_.tabs->SetCurrentIndex(0); });
    view_->SetRunStateHandler([this](RunState state) { OnEngineRunState(state); });

    connect(c_.login->DownloadUserButton(), &QPushButton::clicked, this,
            &EngineDriver::DownloadThisUser);
    connect(c_.login->AlbumPageButton(), &QPushButton::clicked, this, &EngineDriver::ShowAlbumPage);
    connect(c_.albums->GetAlbumsButton(), &QPushButton::clicked, this, &EngineDriver::GetAlbums);
    connect(c_.albums->DownloadButton(), &QPushButton::clicked, this, &EngineDriver::StartDownload);
    connect(c_.albums->PauseButton(), &QPushButton::clicked, this, &EngineDriver::Pause);
    connect(c_.albums->ContinueButton(), &QPushButton::clicked, this, &EngineDriver::Continue);
    connect(c_.albums->EndButton(), &QPushButton::clicked, this, &EngineDriver::End);
    // A new interval paces the requests of the runs going on too.
    if (c_.options != nullptr) {
        connect(c_.options->RequestIntervalBox(), &QSpinBox::valueChanged, this,
                [governor = governor_](int ms) {
                    governor->SetInterval(std::chrono::milliseconds(std::max(ms, 0)));
                });
    }
}

EngineDriver::~EngineDriver() {
    if (!StopAndWait(std::chrono::seconds(15), false)) {
        // A worker stuck beyond every bound still holds the view and the catalogue: leave them
        // to it rather than pull them away under it.
        (void)view_.release();
        (void)catalogue_.release();
    }
}

bool EngineDriver::StopAndWait(std::chrono::milliseconds grace, bool pump) {
    closed_ = true;
    if (control_) control_->Stop();
    std::vector<std::shared_ptr<WorkerThread>> all = workers_;
    if (downloadWorker_) all.push_back(downloadWorker_);
    for (auto& worker : all) worker->Stop().Raise();
    // From here on no worker waits for the window: reads and boxes answer at once.
    view_->Shutdown();

    const auto deadline = std::chrono::steady_clock::now() + grace;
    for (;;) {
        const bool allEnded = std::none_of(all.begin(), all.end(), Running);
        if (allEnded || std::chrono::steady_clock::now() >= deadline) {
            if (allEnded) {
                for (auto& worker : all) worker->Join();
                workers_.clear();
                downloadWorker_.reset();
            }
            return allEnded;
        }
        if (pump)
            GuiPumpingWait(10);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool EngineDriver::DownloadRunning() const {
    return Running(downloadWorker_);
}

bool EngineDriver::CatalogueRunning() const {
    return std::any_of(workers_.begin(), workers_.end(), Running);
}

void EngineDriver::Keep(std::shared_ptr<WorkerThread> worker) {
    std::erase_if(workers_, [](const std::shared_ptr<WorkerThread>& w) { return !Running(w); });
    if (worker) workers_.push_back(std::move(worker));
}

void EngineDriver::StartCatalogueRun() {
    // A second run while one is going would fill the list twice over: it is ignored.
    if (closed_ || catalogue_->Busy() || CatalogueRunning()) return;
    Catalogue* catalogue = catalogue_.get();
    // The session goes with the worker: the catalogue's requests use it to the end.
    Keep(StartThread([catalogue, cookies = cookies_, governor = governor_, visitor = visitor_] {
        catalogue->ResolveAndList();
    }));
}

void EngineDriver::DownloadThisUser() {
    if (closed_) return;
    c_.tabs->SetCurrentIndex(kAlbumsPageIndex);
    c_.albums->UserEdit()->setText(c_.login->UrlEdit()->text());
    QPointer<EngineDriver> self(this);
    GuiPumpingWait(kSettleMs);
    if (self) StartCatalogueRun();
}

void EngineDriver::GetAlbums() {
    StartCatalogueRun();
}

void EngineDriver::ShowAlbumPage() {
    if (closed_) return;
    const Text address = FromQString(c_.login->UrlEdit()->text());
    Catalogue* catalogue = catalogue_.get();
    GuiEngineView* view = view_.get();
    LoginPage* login = c_.login;
    Keep(StartThread([catalogue, view, login, address, cookies = cookies_, governor = governor_,
                      visitor = visitor_] {
        const QString albumPage = ToQString(catalogue->AlbumPageAddress(address));
        if (StopRequested()) return;
        // Back on the window's thread; the login page lives as long as the view answers.
        view->RunOnWindow([login, albumPage] { login->SetBrowserAddress(albumPage); });
    }));
}

void EngineDriver::StartDownload() {
    if (closed_ || state_ != RunState::Idle) return;
    if (DownloadRunning()) {
        // A stopped run finishes the step it was in first.
        QPointer<EngineDriver> self(this);
        const auto deadline = std::chrono::steady_clock::now() + kPreviousRunGrace;
        while (self && DownloadRunning() && std::chrono::steady_clock::now() < deadline)
            GuiPumpingWait(10);
        if (!self || closed_ || DownloadRunning() || state_ != RunState::Idle) return;
    }
    if (downloadWorker_) downloadWorker_->Join();

    control_ = std::make_shared<JobControl>();
    // The user and protocol of the rows listed: what the download saves under.
    const Catalogue::Listing listed = catalogue_->Listed();
    DownloadSetup setup;
    setup.user = listed.user;
    setup.protocol = listed.protocol;
    setup.programFolder = DefaultSaveLocation();
    setup.recordFolder = RecordFolder();
    GuiEngineView* view = view_.get();
    // The run's summary line goes under its closing line, as ovatrix-cli prints it.
    setup.finished = [view](const DownloadSummary& summary) {
        view->AppendLog(SummaryLine(summary) + "\r\n\r\n"_t);
    };
    ApplyRunState(RunState::Running, true);

    std::shared_ptr<JobControl> control = control_;
    downloadWorker_ = StartThread(
        [view, control, setup, cookies = cookies_, governor = governor_, visitor = visitor_] {
            DownloadJob(*view, *control, SessionContext{*cookies, *governor, visitor.get()}, setup)
                .Run();
        });
    if (!downloadWorker_) ApplyRunState(RunState::Idle, false);
}

void EngineDriver::Pause() {
    if (!control_ || state_ != RunState::Running) return;
    ApplyRunState(RunState::Paused, false);
    control_->Pause();
}

void EngineDriver::Continue() {
    if (!control_ || state_ != RunState::Paused) return;
    ApplyRunState(RunState::Running, false);
    control_->Continue();
}

void EngineDriver::End() {
    if (control_) control_->Stop();
    ApplyRunState(RunState::Idle, false);
}

void EngineDriver::OnEngineRunState(RunState state) {
    // The buttons already switched on the click; the engine adds only the end of a run. A
    // report that arrives after the user paused or stopped does not undo that.
    if (state == RunState::Idle && state_ != RunState::Idle) ApplyRunState(RunState::Idle, false);
}

void EngineDriver::ApplyRunState(RunState state, bool showEnd) {
    state_ = state;
    AlbumsPage& a = *c_.albums;
    switch (state) {
        case RunState::Running:
            a.DownloadButton()->hide();
            a.PauseButton()->show();
            a.ContinueButton()->hide();
            if (showEnd) a.EndButton()->show();
            break;
        case RunState::Paused:
            a.DownloadButton()->hide();
            a.PauseButton()->hide();
            a.ContinueButton()->show();
            break;
        case RunState::Idle:
            a.DownloadButton()->show();
            a.PauseButton()->hide();
            a.ContinueButton()->hide();
            a.EndButton()->hide();
            break;
    }
}

}  // namespace ovx
