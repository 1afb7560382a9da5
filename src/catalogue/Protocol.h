#pragma once
// Protocol: one way of speaking to the service. A run holds one; everything that knows
// endpoints, member names, paging and how an answer is judged sits behind it. Naming, saving,
// the date filter, records, labels and progress know no protocol. The protocols themselves
// are listed in Protocols.h; each lives in a folder of its own.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "catalogue/RunHooks.h"
#include "runtime/Text.h"

namespace ovx {

class CookieStore;
class RequestGovernor;
class VisitorSession;

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
    // The saved file's extension comes from the body's first bytes (JPEG, GIF, PNG, WebP),
    // else from the address's last path segment; `extension` is then unused.
    bool extensionFromContent = false;
    // The picture's post could not be read (its calls failed): it is not saved but counted as
    // failed, so that the next run asks for it again.
    bool unreadable = false;
    // The run knows the picture's post to be pinned (on top of the list whatever its age).
    bool pinned = false;
    std::optional<Text> videoAddress;  // a live photo's video
    int position = 0;                  // from 1, counting every listed picture
    // Where the progress bar stands at this photo (0..100); negative when the album's size
    // is unknown.
    double progress = -1;
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
    Declined,     // the service answered that it will not show this (no such user, say):
                  // `failure` is its message
    Failed,       // answers came, but none that could be read: `failure` says what came
    Unreachable,  // nothing arrived; `failure` names the host and the reason
    NotLoggedIn,  // the service wants a login
    Refused,      // the service kept refusing (throttling)
    Stopped,
};

// What every request of a session shares: the login's cookies and the pacing, and the site's
// visitor access when the session may fall back on it. Made by the front end, which keeps
// them alive as long as any run of the session.
struct SessionContext {
    CookieStore& cookies;
    RequestGovernor& governor;
    // None: the login is all the session has (a cookies file named on the command line), and
    // a login the site does not accept ends the run.
    VisitorSession* visitor = nullptr;
};

// Where the service is, from the settings.
struct ServiceSettings {
    Text homePage;      // 首页: the site's origin for the album service
    Text photoService;  // 相册服务, no trailing slash
    Text imageService;  // 图片服务, no trailing slash
    Text choice;        // 接口 as the settings file holds it ("自动", "网页版", "相册版")
};

// How a protocol's records are kept: one text field per photo id in the user's database.
struct RecordLayout {
    Text stem;   // after the user id in the file name, before the extension
    Text field;  // the field's name
    int width;   // the field's width in bytes
    // An id longer than the field: cut to it (and compared as cut), or neither recorded nor
    // found.
    bool cutsLongerIds;
};

class Protocol {
  public:
    virtual ~Protocol() = default;

    // The user a home-page address names. `page` is the home page when it was fetched to
    // choose the protocol; a protocol that needs it fetches it otherwise.
    virtual ServiceOutcome ResolveUser(const Text& homePageAddress, const std::optional<Text>& page,
                                       const RunHooks& hooks, ListedUser& user, Text& failure) = 0;
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
    // How this protocol's photos are recorded.
    virtual const RecordLayout& Records() const = 0;
    // A download run starts: what an earlier run learnt of the service (and may have got
    // wrong, a call that failed say) is forgotten.
    virtual void BeginRun() {}
};

}  // namespace ovx
