#pragma once
// One album: walks its pictures through the protocol's cursor, filters by date and by the
// records, fetches each full-size image, saves it into the album folder and records its id.

#include <cstdint>
#include <memory>
#include <optional>

#include "catalogue/EngineView.h"
#include "catalogue/Protocol.h"
#include "download/DownloadJob.h"
#include "download/JobControl.h"
#include "download/RecordStore.h"
#include "runtime/Text.h"

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
    // True when an image body is an HTML page (an error or login page answered with 200).
    static bool LooksLikeHtml(const Bytes& body);

  private:
    enum class PhotoResult { Next, EndAlbum, Stopped };

    // Where the album's photos go; made with all its levels, temporaries of a killed run gone.
    // Empty when it cannot be made (logged once).
    Text PrepareFolder(const Text& folderName);
    PhotoResult DownloadPhoto(const PhotoItem& item);
    // Fetches an image, one more try after a status other than 200; empty when it failed
    // (logged, counted).
    std::optional<Bytes> FetchImage(const Text& url, const Text& photoId);
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
    RunHooks hooks_;  // what the protocol's cursor and the image requests report through
};

}  // namespace ovx
