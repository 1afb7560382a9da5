#pragma once
// The stand-in photo service's data: users, albums, photos, the web API's posts and the faults
// to inject, loaded from a JSON scenario file. All texts are UTF-8.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace photoservice {

struct Photo {
    std::string photoId;  // 16 digits
    std::string caption;
    std::int64_t timestamp = 0;  // seconds since the epoch
    std::string picName;         // "<pid>.jpg" or "<pid>.gif"
    int number = 0;              // 1-based position in the album, newest first
    bool gif = false;
};

struct Album {
    std::string albumId;  // 16 digits
    std::string caption;
    std::string type = "3";
    bool typeIsNumber = true;
    // cover_pic: "auto" (an image of this service), "" (empty) or an address given as is.
    std::string cover = "auto";
    std::optional<std::string> reportedCount;  // count.photos when it differs from the photos
    bool timestampsInMilliseconds = false;
    // pic_host of this album's photos ("{port}" replaced); empty: the scenario's.
    std::string picHost;
    std::set<std::string> omitAlbumMembers;  // left out of the album record
    std::set<std::string> omitPhotoMembers;  // left out of every photo record
    std::vector<Photo> photos;               // newest first
    int seq = 0;                             // position among all albums, from 1
};

// One picture of a post in the web API.
struct WebPicture {
    std::string pid;           // a plain name; the image is "<pid>.<ext>"
    std::string type = "pic";  // "pic", "livephoto" or "gif"
    std::string video;         // a live photo's video address; empty: "<host>/livephoto/<pid>.mov"
    std::string format;        // the image's bytes: "jpg", "png", "webp" or "gif"
    std::string ext;           // the address's extension, without the dot
    int seed = 0;              // the image's colour
    std::string label;         // the digits drawn on the image
};

// How a pinned post says so: "isTop":1, "isTop":true, "isTop":"1" or "mblogtype":2.
enum class TopStyle { Number, Boolean, String, MblogType };

struct WebPost {
    std::string mid;  // digits
    std::string mblogid;
    std::string text;
    std::int64_t createdAt = 0;  // seconds since the epoch
    std::vector<WebPicture> pictures;
    bool pinned = false;
    TopStyle topStyle = TopStyle::Number;
    bool followersOnly = false;
    bool midOnly = false;  // album items of this post carry only its mid
    // A post the user liked: its author's uid and screen name (empty for the user's own posts).
    std::string author;
    std::string authorName;
};

// A special album of the photo wall (the avatar album, ...): its own posts, not on the wall.
struct WebAlbum {
    std::string title;
    std::string containerId;
    std::vector<WebPost> posts;  // newest first
};

struct WebProfile {
    std::string screenName;
    std::string custom;             // personal domain path; the user's "name" when not given
    std::vector<WebPost> posts;     // newest first
    std::vector<WebPost> liked;     // other users' posts in the timeline, newest first
    std::size_t timelineReach = 0;  // newest non-pinned posts the timeline gives
    std::int64_t statusesCount = 0;
    std::vector<WebAlbum> albums;
};

struct User {
    std::string uid;
    std::string name;  // optional custom home-page path
    std::string title;
    bool ownerUidMarker = false;  // "owner_uid: " instead of "$CONFIG['oid']='"
    std::string markerValue;      // what the marker holds, when not the uid (a hostile page)
    bool noMarker = false;        // the home page carries neither marker
    std::vector<Album> albums;
    WebProfile web;
};

// A path pattern: exact, or a prefix when written with a trailing '*'.
struct PathPattern {
    std::string path;
    bool prefix = false;
    bool Matches(const std::string& p) const {
        return prefix ? p.compare(0, path.size(), path) == 0 : p == path;
    }
};

// More than maxRequests matching requests within windowSeconds ban them for banSeconds: each
// is answered 418, every retryAfterEvery-th with a Retry-After header.
struct Throttle {
    bool enabled = false;
    std::vector<PathPattern> paths;
    int maxRequests = 20;
    double windowSeconds = 10;
    double banSeconds = 60;
    int retryAfterEvery = 0;
    bool forever = false;
};

// A fault applies to the requests whose path (or path prefix, when it ends in '*'), query
// values and host match: after `skip` of them, to the next `times` (all when negative).
struct Fault {
    std::string path;
    bool prefix = false;
    std::map<std::string, std::string> query;
    std::string host;  // the Host header's name (no port), lower case; empty: any
    int skip = 0;
    int times = -1;
    std::string action;  // "", "empty", "status", "html", "body", "truncate" or "endless"
    int status = 500;
    bool statusGiven = false;
    int retryAfter = -1;  // for "status" and "body": a Retry-After header when not negative
    std::string body;     // for "body"
    std::string contentType;
    int delayMs = 0;
    long keepBytes = -1;      // for "truncate": bytes sent before the cut; half when negative
    long bytesPerSecond = 0;  // when positive, the answer trickles out at this rate
    // Headers added to the answer ("{port}", "{origin}" and "{host}" replaced).
    std::vector<std::pair<std::string, std::string>> headers;
    std::size_t padBytes = 0;  // a JSON answer is padded up to this many bytes
    std::string cursor;        // walls and albums: "fresh" or "same" since_id on every page
    std::string showInstead;   // statuses/show answers this post (mid or mblogid) instead
};

// The site's visitor system: the passport's handshakes and what visitor cookies open.
struct VisitorRules {
    bool enabled = false;
    std::string current = "ok";      // genvisitor2: "ok", "refuse" (a retcode of failure), "error"
    std::string older = "ok";        // genvisitor and a=incarnate, the same
    std::int64_t expireSeconds = 0;  // visitor cookies are stale this long after the handshake
    std::int64_t expireCalls = 0;    // or after this many web API calls; 0: never
    std::set<std::string> accepted;  // SUB values taken as visitor cookies without a handshake
    std::set<std::string> revoked;   // SUB values that are stale visitor cookies
};

struct Scenario {
    std::vector<User> users;
    std::vector<Fault> faults;
    std::string picHost;         // "{port}" is replaced by the bound port; empty: this server
    std::size_t imageBytes = 0;  // images are padded up to about this size
    bool requireLogin = true;
    std::string session;  // a session value accepted besides the ones /login hands out
    std::string versionPage;
    bool escapeUnicode = true;  // non-ASCII as \uXXXX in JSON answers

    // The web API.
    int wallPageSize = 30;
    int albumPageSize = 30;
    int timelinePageSize = 20;
    int okMinus100 = 0;          // calls answered {"ok":-100} until "/" is visited; -1: always
    std::string requireReferer;  // images need a Referer starting with this ({port} replaced)
    Throttle throttle;
    VisitorRules visitors;

    const User* FindUser(const std::string& uidOrName) const;
};

// Reads a scenario; on failure returns nothing and sets `error`.
std::optional<Scenario> LoadScenario(const std::string& path, std::string& error);
std::optional<Scenario> ParseScenario(const std::string& json, std::string& error);

// The format description that --help prints.
const char* ScenarioHelp();

}  // namespace photoservice
