#pragma once
// One image or live-photo video fetched into a new temporary of its album folder: redirects
// judged by hand, retries, the image shards, gone pictures, and only pictures (or ISO media)
// kept. A fetch touches no view and no count of the run: what it has to say goes into its
// report, which the album's thread hands on in album order, so a fetch may run on any thread.

#include <functional>
#include <string>
#include <vector>

#include "download/ImageContent.h"
#include "runtime/DurableFile.h"
#include "runtime/Text.h"
#include "web/RequestGovernor.h"
#include "web/WebRequestCom.h"

namespace ovx {

class TransferHub;

// The body of one image or video request, streamed into a new temporary of the album folder.
// The temporary stays open, unsynced, until its group makes it durable (Finish) and names it.
class BodyFile : public ResponseBodySink {
  public:
    int Open(const Text& folder);
    // Before every try: nothing of an earlier answer stays.
    void Reset();
    bool Begin(std::int64_t declaredLength) override;
    bool Take(const char* data, std::size_t size) override;
    NewFile& File() { return file_; }
    const std::string& Head() const { return head_; }
    bool WriteFailed() const { return writeFailed_; }

  private:
    NewFile file_;
    std::string head_;
    bool writeFailed_ = false;
};

// What a fetch has to say, for the album's thread to log and count.
struct FetchReport {
    std::vector<Text> lines;  // log lines, each with its line break, in order
    int failed = 0;
    int gone = 0;
    bool refused = false;  // the service kept refusing: the run ends
};

// What became of one image or video request.
enum class Fetch {
    Body,     // the body is whole in its temporary (still open)
    Failed,   // not saved (reported)
    Gone,     // the host says the picture is deleted (reported)
    Stopped,  // the run stops (or the service kept refusing)
};

// What every fetch of an album shares; made on the album's thread.
struct FetchContext {
    RequestGovernor* governor = nullptr;
    Text folder;   // the album folder, where the temporaries go
    Text headers;  // the protocol's image request headers
    std::vector<std::string> resolve;
    TransferHub* hub = nullptr;  // set when transfers run side by side
    // Before every try: false once the run stops (on the album's thread it also waits while
    // the run is paused).
    std::function<bool()> checkpoint;
    std::function<void(const Text&)> showWait;  // the throttling countdown; any thread
};

// The largest image or video body taken.
inline constexpr std::uint64_t kMaxBodyBytes = std::uint64_t{256} << 20;

// Fetches `url` into a new temporary of the folder: redirects followed by hand (one to the
// host's placeholder means the picture is gone), one more try after a status other than 200,
// a 403 of one image shard asked of the others. `extension` gets the picture's by its first
// bytes.
Fetch FetchBody(const FetchContext& context, const Text& url, const Text& photoId, bool video,
                BodyFile& body, Text& extension, FetchReport& report);

}  // namespace ovx
