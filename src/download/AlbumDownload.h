#pragma once
// One album: walks its pictures through the protocol's cursor, filters by date and by the
// records, fetches each full-size image, saves it into the album folder and records its id.

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "catalogue/EngineView.h"
#include "catalogue/Protocol.h"
#include "download/DownloadJob.h"
#include "download/ImageFetch.h"
#include "download/JobControl.h"
#include "download/PhotoNaming.h"
#include "download/RecordStore.h"
#include "download/TransferPool.h"
#include "runtime/Text.h"

namespace ovx {

class AlbumDownload {
  public:
    AlbumDownload(EngineView& view, JobControl& control, const DownloadSetup& setup,
                  SessionContext session, Protocol& protocol, RecordEngine& records,
                  DownloadSummary& summary);
    ~AlbumDownload();
    AlbumDownload(const AlbumDownload&) = delete;
    AlbumDownload& operator=(const AlbumDownload&) = delete;

    // Downloads the album; returns when it is done, ended by the date filter, or stopped.
    void Run(const AlbumWorkItem& item);

    // The upload time as the date text of file names ("2014年3月5日8时5分3秒").
    static Text UploadDateText(std::int64_t seconds);
    // A group of placed files is made durable (one folder sync) and recorded when it holds
    // this many files, when it is this old at a checkpoint or a placement, before a pause
    // holds the worker, and at the end of the album (a stop included).
    static constexpr std::size_t kGroupFiles = 32;
    static constexpr std::chrono::seconds kGroupAge{1};

  private:
    enum class PhotoResult { Next, EndAlbum, Stopped };
    struct Pending;
    // A photo whose files wait, unnamed and unsynced, for their group to close.
    struct GroupPhoto {
        PhotoToSave photo;
        NamingScheme scheme = NamingScheme::NumberCaption;
        bool stillEarlier = false;     // the still was saved by an earlier run
        std::unique_ptr<BodyFile> still;  // null: none to place
        std::unique_ptr<BodyFile> video;  // null: none to place
        Text videoExtension;
        Text videoKey;
    };

    // Where the album's photos go; made with all its levels, temporaries of a killed run gone.
    // Empty when it cannot be made (logged once).
    Text PrepareFolder(const Text& folderName);
    // Judges one listed photo (date filter, records) and hands its fetch on.
    PhotoResult DownloadPhoto(const PhotoItem& item);
    // The photo's still and video fetched, on whichever thread runs it.
    void RunFetch(Pending& pending) const;
    // Hands the fetched photos at the front on to their group, in album order: all that are
    // done, and while the window of photos between the cursor and their group is full, the
    // front one once it is done.
    PhotoResult SettleReady();
    // A photo listed again while its earlier listing is on its way: that one and those before
    // it are settled first, so the records judge it as they would one photo at a time.
    PhotoResult SettleListed(const Text& photoId);
    // The front photo settled once its fetch has run; when it ends the run, the transfers of
    // the photos after it end at once.
    PhotoResult SettleFront();
    // The front photo's report logged and counted, its whole files into the group.
    PhotoResult Settle(Pending& pending);
    // Every photo still on its way settled (the transfers ended at once after a stop or when
    // one of them ends the run); true when one of them ended the run.
    bool Drain();
    // A line of the album's log: after the photos still on their way, so that the log keeps
    // album order whatever order their transfers end in.
    void AlbumLog(const Text& line);
    void LogFailed(const Text& photoId, const Text& why);
    // The control's checkpoint; a group a second old is closed first, and before a pause
    // holds the worker the photos whose transfers have ended join a group that is closed.
    bool Checkpoint();
    // Closes the group when it is a second old or the run is paused.
    void CloseGroupIfDue();
    void BeforeHolding();
    // True when the key is recorded or waits in the open group (with the store open).
    bool IsRecorded(const Text& key);
    // A photo's files join the group, which closes when it is full or old.
    void Join(GroupPhoto photo);
    // Makes the group durable: its temporaries synced, then named in album order, then the
    // album folder synced once, and only then the group's keys recorded (when the store is
    // open; a failed write is logged).
    void CloseGroup();
    // Sets the bar; returns the position it shows.
    int MoveProgress(double position);
    void CloseStore();

    EngineView& view_;
    JobControl& control_;
    const DownloadSetup& setup_;
    SessionContext session_;
    Protocol& protocol_;
    RecordEngine& records_;
    DownloadSummary& summary_;

    // State of the album in progress.
    std::unique_ptr<RecordStore> store_;
    bool storeOpen_ = false;
    AlbumOptions options_;
    std::int64_t lowerBound_ = 0;  // with the date filter on: photos at or before it end the album
    std::int64_t upperBound_ = 0;  // and photos at or after it are skipped
    Text count_;
    Text folder_;
    int undated_ = 0;         // pictures of the album without an upload time, under the date filter
    int recordedInARow_ = 0;  // recorded pictures in a row, pinned ones apart
    RunHooks hooks_;          // what the protocol's cursor and the image requests report through
    FetchContext fetch_;                  // what the album's fetches share
    std::unique_ptr<TransferPool> pool_;  // null: one transfer at a time, on this thread
    std::deque<std::unique_ptr<Pending>> pending_;  // fetched or on their way, in album order
    std::size_t window_ = 1;  // the most photos between the cursor and their group
    // Photos fetched since the album folder was last synced, in album order.
    std::vector<GroupPhoto> group_;
    std::size_t groupFiles_ = 0;
    std::chrono::steady_clock::time_point groupOpened_;
};

}  // namespace ovx
