#pragma once
// A download run: the albums checked in the view, one after another, each through
// AlbumDownload. Run() does the whole run on the calling thread (a worker), from the start
// lines of the log to the completion message, and returns what it did.

#include <chrono>
#include <cstdint>
#include <memory>

#include "catalogue/Catalogue.h"
#include "catalogue/EngineView.h"
#include "catalogue/Protocol.h"
#include "download/JobControl.h"
#include "runtime/Text.h"
#include "runtime/recorddb/RecordEngine.h"

namespace ovx {

// What a run works with besides the view's options.
struct DownloadSetup {
    UserIdentity user;  // the user whose albums are listed
    // The protocol that listed them; none: the album service at `photoService`.
    std::shared_ptr<Protocol> protocol;
    // The session the protocol's requests belong to; without a governor the run backs off
    // throttling answers with a governor of its own (default waits).
    SessionContext session;
    Text programFolder;  // the save location when the view gives none
    Text recordFolder;   // the record databases, with a trailing separator
    Text photoService;   // scheme and host of the photo-list endpoint
    Text homePage;       // the site, whose pages image requests name as their Referer
    // The wait before a photo-list page is asked for again (tests shorten it).
    std::chrono::milliseconds pageRetryWait{2000};
};

struct DownloadSummary {
    int saved = 0;             // photos written
    int skipped = 0;           // photos skipped because they were recorded
    int failed = 0;            // photos whose image could not be fetched or written
    int pagesLost = 0;         // photo-list pages still unreadable after every try
    int albumsSkipped = 0;     // albums whose folder could not be made
    bool notLoggedIn = false;  // the service wanted a login: the run ended there
    bool refused = false;      // the service kept refusing: the run ended there
    bool stopped = false;
};

// One album, as the run hands it over: a structure, so no separator in a name can cut it.
struct AlbumWorkItem {
    Text count;     // photo count text; empty when the service gives none
    Text albumKey;  // read back by the protocol
    Text name;      // trimmed, or the random fallback name
};

class DownloadJob {
  public:
    DownloadJob(EngineView& view, JobControl& control, DownloadSetup setup);

    // The whole run; installs the control's stop flag on the calling thread.
    DownloadSummary Run();

  private:
    EngineView& view_;
    JobControl& control_;
    DownloadSetup setup_;
    // The run's own record engine: two runs in one process never share an open database.
    RecordEngine records_;
};

}  // namespace ovx
