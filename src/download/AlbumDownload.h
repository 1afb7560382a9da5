#pragma once
// One album: pages through the photo list, filters by date and by the records, fetches each
// full-size image, saves it into the album folder and records its id.

#include "catalogue/EngineView.h"
#include "download/DownloadJob.h"
#include "download/JobControl.h"
#include "runtime/Text.h"

namespace ovx {

class AlbumDownload {
  public:
    AlbumDownload(EngineView& view, JobControl& control, const DownloadSetup& setup,
                  DownloadSummary& summary);

    // Downloads the album; returns when it is done, ended by the date filter, or stopped.
    void Run(const AlbumWorkItem& item);

  private:
    EngineView& view_;
    JobControl& control_;
    const DownloadSetup& setup_;
    DownloadSummary& summary_;
};

}  // namespace ovx
