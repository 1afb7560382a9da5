#pragma once
// One album: pages through the photo list, filters by date and by the records, fetches each
// full-size image, saves it into the album folder and records its id.

#include <cstdint>
#include <memory>

#include "catalogue/EngineView.h"
#include "catalogue/JsonValue.h"
#include "download/DownloadJob.h"
#include "download/JobControl.h"
#include "download/RecordStore.h"
#include "runtime/Text.h"

namespace ovx {

class AlbumDownload {
  public:
    AlbumDownload(EngineView& view, JobControl& control, const DownloadSetup& setup,
                  DownloadSummary& summary);

    // Downloads the album; returns when it is done, ended by the date filter, or stopped.
    void Run(const AlbumWorkItem& item);

    // The upload time of a photo in whole seconds, from its timestamp text: a value over
    // 9999999999 is taken as milliseconds.
    static std::int64_t UploadSeconds(const Text& timestamp);
    // The upload time as the date text of file names ("2014年3月5日8时5分3秒").
    static Text UploadDateText(std::int64_t seconds);
    // True when an image body is an HTML page (an error or login page answered with 200).
    static bool LooksLikeHtml(const Bytes& body);

  private:
    enum class PageResult { Good, Lost, Stopped };
    enum class PhotoResult { Next, EndAlbum, Stopped };

    // Where the album's photos go; made with all its levels, temporaries of a killed run gone.
    Text PrepareFolder(const Text& folderName);
    // Asks for one page until it is a photo-list answer, at most 10 times.
    PageResult FetchPage(const Text& url, JsonValue& answer);
    PhotoResult DownloadPhoto(const JsonValue& record, int page, int index, int onPage);
    // Sets the bar; returns the position it shows.
    int MoveProgress(double position);

    EngineView& view_;
    JobControl& control_;
    const DownloadSetup& setup_;
    DownloadSummary& summary_;

    // State of the album in progress.
    std::unique_ptr<RecordStore> store_;
    bool storeOpen_ = false;
    AlbumOptions options_;
    std::int64_t lowerBound_ = 0;  // with the date filter on: photos at or before it end the album
    std::int64_t upperBound_ = 0;  // and photos at or after it are skipped
    Text count_;
    Text folder_;
    int pages_ = 1;
};

}  // namespace ovx
