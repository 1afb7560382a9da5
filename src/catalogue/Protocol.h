#pragma once
// Protocol: one way of speaking to the service. A run holds one; everything that knows
// endpoints, member names, paging and how an answer is judged sits behind it. Naming, saving,
// the date filter, records, labels and progress know no protocol.
//
// Two implementations: the album service (home-page markers, numbered photo-list pages) and
// the site's web API (JSON calls with cursors).

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/SettingsFile.h"
#include "runtime/Text.h"
#include "web/RequestGovernor.h"

namespace ovx {

class CookieStore;

enum class ProtocolKind { AlbumService, Web };

// The user a listing belongs to; a download saves and records under this user only.
struct ListedUser {
    Text homePageAddress;  // as the service was asked for it
    Text userId;           // digits; empty when none was found
    Text userTitle;
};

// One album as the protocol lists it.
struct AlbumListing {
    Text name;          // may be empty (the catalogue names it)
    Text coverAddress;  // may be empty
    Text count;         // photo count as the service gives it; empty when it gives none
    Text albumKey;      // read back only by the protocol that listed it
};

// One picture of an album, in album order.
struct PhotoItem {
    Text photoId;                               // what the records hold
    std::optional<std::int64_t> uploadSeconds;  // none: never filtered out by date
    Text caption;                               // the member text, before PrepareCaption
    Text imageAddress;                          // the full-size image
    Text extension;                             // ".jpg" or ".gif"
    std::optional<Text> videoAddress;           // a live photo's video
    int position = 0;                           // from 1, counting every listed picture
    // Where the progress bar stands at this photo (0..100); negative when the album's size
    // is unknown.
    double progress = -1;
};

// What a cursor, a list or a resolution may need from the run: pausing, the log, the
// waits that tests shorten. Every member may be empty.
struct RunHooks {
    std::function<bool()> checkpoint;      // waits while paused; false once stopped
    std::function<void(const Text&)> log;  // one log line, with its own line break
    std::function<void()> pageLost;        // a page stayed unreadable after every try
    std::chrono::milliseconds pageRetryWait{2000};
    Text albumTitle;  // the album's folder name, for log lines
    // A wait the service imposes, counting down ("服务限流…"); an empty text ends it.
    std::function<void(const Text&)> showWait;
    // True for a photo id the run will pass over whatever its caption and time (recorded,
    // no date filter): a cursor may then give it without asking for its post.
    std::function<bool(const Text&)> passedOver;

    bool Checkpoint() const { return !checkpoint || checkpoint(); }
    void Log(const Text& line) const {
        if (log) log(line);
    }
};

// Walks one album's pictures; each call of Next gives the next one.
class PhotoCursor {
  public:
    enum class Step {
        Photo,        // `item` holds the next picture
        End,          // no more pictures
        Stopped,      // the run was asked to stop
        NotLoggedIn,  // the service wants a login; the run ends (the cursor logged why)
        Refused,      // the service kept refusing (throttling); the run ends cleanly
    };
    virtual ~PhotoCursor() = default;
    virtual Step Next(PhotoItem& item) = 0;
};

// The outcome of a resolution or an album list.
enum class ServiceOutcome {
    Done,         // answered (possibly with no user or no albums)
    Unreachable,  // nothing arrived; `failure` names the host and the reason
    NotLoggedIn,  // the service wants a login
    Refused,      // the service kept refusing (throttling)
    Stopped,
};

// What every request of a session shares: the login and the pacing.
struct SessionContext {
    CookieStore* cookies = nullptr;       // null: the process-wide store
    RequestGovernor* governor = nullptr;  // null: no pacing, no back-off
};

// Where the service is, from the settings.
struct ServiceSettings {
    Text homePage;      // 首页: the site's origin for the album service
    Text photoService;  // 相册服务, no trailing slash
    Text imageService;  // 图片服务, no trailing slash
    ProtocolChoice choice = ProtocolChoice::Auto;
};

// What the view and the log see of throttling: one log line when an episode starts, a
// countdown through `showWait`, and one line when the service kept refusing.
ThrottleObserver WatchThrottling(const RunHooks& hooks);

// One request through the session's governor: `perform` is made, and made again while the
// answer is a throttling answer. Without a governor it is made once. False when the run
// must end: stopped, or (with `refused` set, logged) the service kept refusing.
bool Governed(RequestGovernor* governor, const RunHooks& hooks, bool paced,
              const std::function<Attempt()>& perform, bool& refused);

class Protocol {
  public:
    virtual ~Protocol() = default;
    virtual ProtocolKind Kind() const = 0;

    // Lists the user's albums in the service's order.
    virtual ServiceOutcome ListAlbums(const ListedUser& user, const RunHooks& hooks,
                                      std::vector<AlbumListing>& albums, Text& failure) = 0;
    // A cursor over one listed album's pictures.
    virtual std::unique_ptr<PhotoCursor> OpenAlbum(const ListedUser& user,
                                                   const AlbumListing& album,
                                                   const RunHooks& hooks) = 0;
    // The user's album page on the site, for the browser.
    virtual Text AlbumPageAddress(const ListedUser& user) const = 0;
    // Header lines (CR LF separated) that image requests carry; never login cookies.
    virtual Text ImageHeaders() const = 0;
};

}  // namespace ovx
