#pragma once
// A download run: the albums checked in the view, one after another, each through
// AlbumDownload. Run() does the whole run on the calling thread (a worker), from the start
// lines of the log to the completion message, and returns what it did.

#include <chrono>
#include <cstdint>
#include <memory>

#include "catalogue/EngineView.h"
#include "catalogue/Protocol.h"
#include "download/JobControl.h"
#include "runtime/Text.h"
#include "runtime/recorddb/RecordEngine.h"

namespace ovx {

// What a run works with besides the view's options.
struct DownloadSetup {
    ListedUser user;  // the user whose albums are listed
    // The protocol that listed them (made for the run's session); a run needs one.
    std::shared_ptr<Protocol> protocol;
    Text programFolder;  // the save location when the view gives none
    Text recordFolder;   // the record databases, with a trailing separator
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
    // `session` is the one the protocol's requests belong to; its governor also paces and
    // backs off the image requests. It must outlive the run.
    DownloadJob(EngineView& view, JobControl& control, SessionContext session, DownloadSetup setup);

    // The whole run; installs the control's stop flag on the calling thread.
    DownloadSummary Run();

  private:
    EngineView& view_;
    JobControl& control_;
    SessionContext session_;
    DownloadSetup setup_;
    // The run's own record engine: two runs in one process never share an open database.
    RecordEngine records_;
};

}  // namespace ovx
