#pragma once
// A download run: the albums checked in the view, one after another, each through
// AlbumDownload. Run() does the whole run on the calling thread (a worker), from the start
// lines of the log to the completion message, and returns what it did.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/EngineView.h"
#include "catalogue/Protocol.h"
#include "download/JobControl.h"
#include "runtime/Text.h"
#include "runtime/recorddb/RecordEngine.h"

namespace ovx {

struct DownloadSummary;

// What a run works with besides the view's options.
struct DownloadSetup {
    ListedUser user;  // the user whose albums are listed
    // The protocol that listed them (made for the run's session); a run needs one.
    std::shared_ptr<Protocol> protocol;
    Text programFolder;  // the save location when the view gives none
    Text recordFolder;   // the record databases, with a trailing separator
    // The wait before a photo-list page is asked for again (tests shorten it).
    std::chrono::milliseconds pageRetryWait{2000};
    // Host names of image requests answered from "HOST:PORT:ADDRESS" entries instead of the
    // resolver; only tests set them.
    std::vector<std::string> imageResolve;
    // Makes an album folder's new names reach the disk before the photos under them are
    // recorded (once for a group of photos); empty: SyncFolder. Tests watch the groups here.
    std::function<bool(const Text& folder)> syncFolder;
    // Called when the run went to its end, right after its closing log line and before the
    // finishing sound and message: the front end adds its summary there.
    std::function<void(const DownloadSummary&)> finished;
};

struct DownloadSummary {
    int saved = 0;             // pictures written (a live photo's video with its still)
    int skipped = 0;           // pictures skipped because they were recorded
    int failed = 0;            // pictures (or their videos) that could not be fetched or written
    int gone = 0;              // pictures (or videos) the image host says are deleted
    int undated = 0;           // pictures the date filter passed over for lack of a date
    int pagesLost = 0;         // photo-list pages still unreadable after every try
    int albumsSkipped = 0;     // albums whose folder could not be made
    bool notLoggedIn = false;  // the service wanted a login: the run ended there
    bool refused = false;      // the service kept refusing: the run ended there
    bool stopped = false;

    // Adds another run's figures (several users' runs of one session).
    DownloadSummary& operator+=(const DownloadSummary& other);
};

// The run's one summary line, as both front ends show it: saved, skipped, failed, and when
// not zero the pictures gone and the pages that could not be read.
Text SummaryLine(const DownloadSummary& summary);
// True when the run left something a later run can still fetch: pictures that failed, pages
// that could not be read, albums skipped.
bool LeftSomethingBehind(const DownloadSummary& summary);

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
