#pragma once
// One album: walks its pictures through the protocol's cursor, filters by date and by the
// records, fetches each full-size image, saves it into the album folder and records its id.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "catalogue/EngineView.h"
#include "catalogue/Protocol.h"
#include "download/DownloadJob.h"
#include "download/JobControl.h"
#include "download/RecordStore.h"
#include "runtime/Text.h"
#include "web/GovernedRequest.h"

namespace ovx {

class AlbumDownload {
  public:
    AlbumDownload(EngineView& view, JobControl& control, const DownloadSetup& setup,
                  SessionContext session, Protocol& protocol, RecordEngine& records,
                  DownloadSummary& summary);

    // Downloads the album; returns when it is done, ended by the date filter, or stopped.
    void Run(const AlbumWorkItem& item);

    // The upload time as the date text of file names ("2014年3月5日8时5分3秒").
    static Text UploadDateText(std::int64_t seconds);
    // The largest image or video body taken.
    static constexpr std::uint64_t kMaxBodyBytes = std::uint64_t{256} << 20;
    // A group of placed files is made durable (one folder sync) and recorded when it holds
    // this many files, when it is this old at a checkpoint or a placement, before a pause
    // holds the worker, and at the end of the album (a stop included).
    static constexpr std::size_t kGroupFiles = 32;
    static constexpr std::chrono::seconds kGroupAge{1};

  private:
    enum class PhotoResult { Next, EndAlbum, Stopped };
    // What became of one image or video request.
    enum class Fetch {
        Body,     // the body is in its temporary, synced and closed
        Failed,   // not saved (logged)
        Gone,     // the host says the picture is deleted (logged)
        Stopped,  // the run stops (or the service kept refusing)
    };
    class BodyFile;

    // Where the album's photos go; made with all its levels, temporaries of a killed run gone.
    // Empty when it cannot be made (logged once).
    Text PrepareFolder(const Text& folderName);
    PhotoResult DownloadPhoto(const PhotoItem& item);
    // Fetches an image (or a live photo's video) into a new temporary of the album folder:
    // redirects followed by hand (one to the host's placeholder means the picture is gone),
    // one more try after a status other than 200, a 403 of one image shard asked of the
    // others. Logs what went wrong; `extension` gets the picture's by its first bytes.
    Fetch FetchBody(const Text& url, const Text& photoId, bool video, BodyFile& body,
                    Text& extension);
    // One try, through the governor; false when the run stops.
    bool Request(const Text& url, BodyFile& body, GovernedAnswer& answer, Text& redirect,
                 bool& tooLarge);
    void LogFailed(const Text& photoId, const Text& why);
    void LogGone(const Text& photoId, bool video, const Text& why);
    // The control's checkpoint; a group a second old is closed first, and a group is closed
    // before a pause holds the worker.
    bool Checkpoint();
    // True when the key is recorded or placed in the open group (with the store open).
    bool IsRecorded(const Text& key);
    // A file is under its final name (its bytes synced before the rename): its key joins the
    // group, which closes when it is full or old.
    void Placed(const Text& key);
    // Syncs the album folder once for the group's new names, then records the group's keys
    // when the store is open (a failed write is logged).
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
    // Keys of the files placed since the album folder was last synced, in album order.
    std::vector<Text> group_;
    std::chrono::steady_clock::time_point groupOpened_;
};

}  // namespace ovx
