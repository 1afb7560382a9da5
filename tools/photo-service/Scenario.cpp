#include "Scenario.h"

#include <json-c/json.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "ScenarioReader.h"

namespace photoservice {
namespace {

constexpr int kMaxPhotosPerAlbum = 99999;

// A picture name in the style of the real image servers.
std::string PicName(int albumSeq, int number, bool gif) {
    std::uint64_t key =
        static_cast<std::uint64_t>(albumSeq) * 100000 + static_cast<std::uint64_t>(number);
    std::uint64_t mix = key * 0x9E3779B97F4A7C15ULL;
    mix ^= mix >> 29;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(mix));
    return std::string(hex, 8) + "gw1e" + Base36(key) + (gif ? ".gif" : ".jpg");
}

std::string PhotoId(int albumSeq, int number) {
    return std::to_string(3800000000000000LL + static_cast<long long>(albumSeq) * 100000 + number);
}

bool ReadPhotos(Reader& r, json_object* photos, Album& album, long& total) {
    if (!photos) return true;
    if (json_object_is_type(photos, json_type_array)) {
        std::size_t n = json_object_array_length(photos);
        if (n > static_cast<std::size_t>(kMaxPhotosPerAlbum))
            return r.Fail("too many photos in one album");
        std::int64_t previous = 1400000000;
        for (std::size_t i = 0; i < n; ++i) {
            json_object* p = json_object_array_get_idx(photos, i);
            if (!json_object_is_type(p, json_type_object))
                return r.Fail("a photo must be an object");
            Photo photo;
            photo.timestamp = previous - (i ? 3600 : 0);
            if (!r.Text(p, "caption", photo.caption) ||
                !r.Int(p, "timestamp", photo.timestamp, 0, 99999999999999LL) ||
                !r.Bool(p, "gif", photo.gif) || !r.Text(p, "photo_id", photo.photoId) ||
                !r.Text(p, "pic_name", photo.picName)) {
                return false;
            }
            previous = photo.timestamp;
            album.photos.push_back(std::move(photo));
        }
        // The service lists the newest first.
        std::stable_sort(album.photos.begin(), album.photos.end(),
                         [](const Photo& a, const Photo& b) { return a.timestamp > b.timestamp; });
        for (std::size_t i = 0; i < album.photos.size(); ++i) {
            Photo& photo = album.photos[i];
            photo.number = static_cast<int>(i) + 1;
            if (photo.photoId.empty()) photo.photoId = PhotoId(album.seq, photo.number);
            if (photo.picName.empty()) photo.picName = PicName(album.seq, photo.number, photo.gif);
            if (photo.picName.find('/') != std::string::npos)
                return r.Fail("a pic_name holds a '/'");
        }
    } else if (json_object_is_type(photos, json_type_object)) {
        std::int64_t count = 0, perPost = 1, newest = 1400000000, step = 3600, gifEvery = 0;
        std::string caption = "第{post}条微博";
        if (!r.Int(photos, "count", count, 0, kMaxPhotosPerAlbum) ||
            !r.Int(photos, "per_post", perPost, 1, kMaxPhotosPerAlbum) ||
            !r.Int(photos, "newest", newest, 0, 99999999999LL) ||
            !r.Int(photos, "step", step, 0, 100000000) ||
            !r.Int(photos, "gif_every", gifEvery, 0, kMaxPhotosPerAlbum) ||
            !r.Text(photos, "caption", caption)) {
            return false;
        }
        for (int i = 1; i <= count; ++i) {
            Photo photo;
            photo.number = i;
            auto post = (i - 1) / perPost + 1;
            photo.caption =
                Replace(Replace(caption, "{post}", std::to_string(post)), "{n}", std::to_string(i));
            photo.timestamp = newest - (post - 1) * step;
            photo.photoId = PhotoId(album.seq, i);
            photo.gif = gifEvery > 0 && i % gifEvery == 0;
            photo.picName = PicName(album.seq, i, photo.gif);
            album.photos.push_back(std::move(photo));
        }
    } else {
        return r.Fail("\"photos\" must be an array or an object");
    }
    total += static_cast<long>(album.photos.size());
    return total <= kMaxPhotosInAll || r.Fail("too many photos in all");
}

bool ReadAlbum(Reader& r, json_object* a, Album& album, long& total) {
    if (!json_object_is_type(a, json_type_object)) return r.Fail("an album must be an object");
    album.albumId = std::to_string(3500000000000000LL + album.seq);
    if (!r.Text(a, "album_id", album.albumId) || !r.Text(a, "caption", album.caption) ||
        !r.Bool(a, "timestamp_ms", album.timestampsInMilliseconds) ||
        !r.Names(a, "omit", album.omitPhotoMembers) ||
        !r.Names(a, "album_omit", album.omitAlbumMembers) || !r.Text(a, "cover", album.cover) ||
        !r.Text(a, "pic_host", album.picHost)) {
        return false;
    }
    if (json_object* type = Member(a, "type")) {
        album.typeIsNumber = json_object_is_type(type, json_type_int);
        if (!r.Text(a, "type", album.type)) return false;
    }
    if (Member(a, "reported_count")) {
        std::string reported;
        if (!r.Text(a, "reported_count", reported)) return false;
        album.reportedCount = reported;
    }
    return ReadPhotos(r, Member(a, "photos"), album, total);
}

bool ReadFault(Reader& r, json_object* f, Fault& fault) {
    if (!json_object_is_type(f, json_type_object)) return r.Fail("a fault must be an object");
    std::int64_t skip = 0, times = -1, status = 500, delay = 0, keep = -1, rate = 0,
                 retryAfter = -1, pad = 0;
    if (!r.Text(f, "path", fault.path, true) || !r.Text(f, "action", fault.action) ||
        !r.Text(f, "host", fault.host) || !r.Int(f, "pad_bytes", pad, 0, 1LL << 40) ||
        !r.Text(f, "cursor", fault.cursor) || !r.Text(f, "show_instead", fault.showInstead) ||
        !r.Int(f, "retry_after", retryAfter, -1, 100000000) || !r.Text(f, "body", fault.body) ||
        !r.Text(f, "content_type", fault.contentType) || !r.Int(f, "skip", skip, 0, 1000000000) ||
        !r.Int(f, "times", times, -1, 1000000000) || !r.Int(f, "status", status, 100, 599) ||
        !r.Int(f, "delay_ms", delay, 0, 600000) || !r.Int(f, "keep_bytes", keep, -1, 1000000000) ||
        !r.Int(f, "bytes_per_second", rate, 0, 1000000000)) {
        return false;
    }
    if (!fault.path.empty() && fault.path.back() == '*') {
        fault.prefix = true;
        fault.path.pop_back();
    }
    if (fault.action != "" && fault.action != "empty" && fault.action != "status" &&
        fault.action != "html" && fault.action != "truncate" && fault.action != "body" &&
        fault.action != "endless") {
        return r.Fail("unknown fault action \"" + fault.action + "\"");
    }
    if (fault.cursor != "" && fault.cursor != "fresh" && fault.cursor != "same")
        return r.Fail("a fault's \"cursor\" is \"fresh\" or \"same\"");
    for (char& c : fault.host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fault.padBytes = static_cast<std::size_t>(pad);
    fault.skip = static_cast<int>(skip);
    fault.times = static_cast<int>(times);
    fault.status = static_cast<int>(status);
    fault.statusGiven = Member(f, "status") != nullptr;
    fault.retryAfter = static_cast<int>(retryAfter);
    fault.delayMs = static_cast<int>(delay);
    fault.keepBytes = static_cast<long>(keep);
    fault.bytesPerSecond = static_cast<long>(rate);
    if (json_object* q = Member(f, "query")) {
        if (!json_object_is_type(q, json_type_object)) return r.Fail("\"query\" must be an object");
        json_object_object_foreach(q, key, value) {
            if (!json_object_is_type(value, json_type_string) &&
                !json_object_is_type(value, json_type_int)) {
                return r.Fail("query values must be strings");
            }
            fault.query[key] = json_object_get_string(value);
        }
    }
    if (json_object* h = Member(f, "headers")) {
        if (!json_object_is_type(h, json_type_object))
            return r.Fail("\"headers\" must be an object");
        json_object_object_foreach(h, name, value) {
            std::string text = json_object_get_string(value);
            bool plain = json_object_is_type(value, json_type_string) ||
                         json_object_is_type(value, json_type_int);
            if (!plain || text.find_first_of("\r\n") != std::string::npos ||
                std::string(name).find_first_of(":\r\n ") != std::string::npos) {
                return r.Fail("header values must be strings of one line");
            }
            fault.headers.emplace_back(name, text);
        }
    }
    return true;
}

}  // namespace

const User* Scenario::FindUser(const std::string& uidOrName) const {
    for (const User& u : users) {
        if (u.uid == uidOrName || (!u.name.empty() && u.name == uidOrName) ||
            (!u.web.custom.empty() && u.web.custom == uidOrName)) {
            return &u;
        }
    }
    return nullptr;
}

std::optional<Scenario> ParseScenario(const std::string& json, std::string& error) {
    json_tokener* tokener = json_tokener_new();
    if (!tokener) {
        error = "out of memory";
        return std::nullopt;
    }
    std::unique_ptr<json_object, JsonDeleter> root(
        json_tokener_parse_ex(tokener, json.c_str(), static_cast<int>(json.size())));
    json_tokener_error parseError = json_tokener_get_error(tokener);
    std::size_t offset = json_tokener_get_parse_end(tokener);
    json_tokener_free(tokener);
    if (!root || parseError != json_tokener_success) {
        error = std::string("not valid JSON near byte ") + std::to_string(offset) + ": " +
                json_tokener_error_desc(parseError);
        return std::nullopt;
    }

    Reader r;
    Scenario s;
    json_object* top = root.get();
    std::int64_t imageBytes = 0;
    if (!json_object_is_type(top, json_type_object)) {
        r.Fail("the scenario must be a JSON object");
    } else {
        // Each reader records the first failure in r.error.
        r.Text(top, "pic_host", s.picHost) && r.Int(top, "image_bytes", imageBytes, 0, 16 << 20) &&
            r.Bool(top, "require_login", s.requireLogin) && r.Text(top, "session", s.session) &&
            r.Text(top, "version_page", s.versionPage) &&
            r.Bool(top, "escape_unicode", s.escapeUnicode) && ReadWebOptions(r, top, s);
    }
    s.imageBytes = static_cast<std::size_t>(imageBytes);
    if (s.versionPage.empty()) s.versionPage = "<html><body>#weibo@@2.0#weibo</body></html>";

    json_object* users = Member(top, "users");
    if (r.error.empty() && !json_object_is_type(users, json_type_array)) {
        r.Fail("the scenario needs a \"users\" array");
    }
    long total = 0;
    int albumSeq = 0, listSeq = 0;
    for (std::size_t i = 0; r.error.empty() && i < json_object_array_length(users); ++i) {
        json_object* u = json_object_array_get_idx(users, i);
        User user;
        std::string marker = "oid";
        if (!json_object_is_type(u, json_type_object)) {
            r.Fail("a user must be an object");
            break;
        }
        if (!r.Text(u, "uid", user.uid, true) || !r.Text(u, "name", user.name) ||
            !r.Text(u, "title", user.title) || !r.Text(u, "marker", marker) ||
            !r.Text(u, "marker_value", user.markerValue)) {
            break;
        }
        if (!IsPlainName(user.uid) || (!user.name.empty() && !IsPlainName(user.name))) {
            r.Fail("uid and name may hold only letters, digits, '_', '-' and '.'");
            break;
        }
        if (marker != "oid" && marker != "owner_uid" && marker != "none") {
            r.Fail("\"marker\" is \"oid\", \"owner_uid\" or \"none\"");
            break;
        }
        user.ownerUidMarker = marker == "owner_uid";
        user.noMarker = marker == "none";
        if (!Member(u, "title")) user.title = user.uid + "的微博";
        json_object* albums = Member(u, "albums");
        if (albums && !json_object_is_type(albums, json_type_array)) {
            r.Fail("\"albums\" must be an array");
            break;
        }
        for (std::size_t k = 0; albums && k < json_object_array_length(albums); ++k) {
            Album album;
            album.seq = ++albumSeq;
            if (!ReadAlbum(r, json_object_array_get_idx(albums, k), album, total)) break;
            user.albums.push_back(std::move(album));
        }
        if (!r.error.empty() || !ReadWebProfile(r, u, user, listSeq, total)) break;
        s.users.push_back(std::move(user));
    }
    json_object* faults = Member(top, "faults");
    if (r.error.empty() && faults && !json_object_is_type(faults, json_type_array)) {
        r.Fail("\"faults\" must be an array");
    }
    for (std::size_t i = 0; r.error.empty() && faults && i < json_object_array_length(faults);
         ++i) {
        Fault fault;
        if (ReadFault(r, json_object_array_get_idx(faults, i), fault))
            s.faults.push_back(std::move(fault));
    }
    if (!r.error.empty()) {
        error = r.error;
        return std::nullopt;
    }
    return s;
}

std::optional<Scenario> LoadScenario(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseScenario(text.str(), error);
}

}  // namespace photoservice

namespace photoservice {

const char* ScenarioHelp() {
    return R"(Scenario file (JSON, UTF-8):
{
  "users": [                        required
    { "uid": "1234567890",          required: letters, digits, '_', '-', '.'
      "name": "custom",             optional: the home page is also at /custom
      "title": "...",               <title> of the home page (default: uid + "的微博")
      "marker": "oid",              "oid": $CONFIG['oid']='UID'; "owner_uid": only owner_uid: UID;
                                    "none": neither (the client then takes the web API)
      "marker_value": "...",        optional: the marker holds this text instead of the uid
      "albums": [
        { "caption": "...",
          "album_id": "...",        default: a 16-digit id
          "type": 3,                number or string
          "cover": "auto",          "auto": an image of this service; "": empty; else the address
          "reported_count": "...",  count.photos in the album list, when it should differ
          "timestamp_ms": false,    timestamps in milliseconds
          "pic_host": "...",        this album's image host ({port} replaced), e.g. another
                                    scheme; default: the scenario's
          "omit": ["caption_render"],   members left out of every photo record
          "album_omit": ["caption"],    members left out of the album record
          "photos": { "count": 250, "per_post": 3, "caption": "第{post}条微博 {n}",
                      "newest": 1400000000, "step": 3600, "gif_every": 0 }
            or      [ { "caption": "...", "timestamp": 1400000000, "gif": false,
                        "photo_id": "...", "pic_name": "..." } ]
        } ],
      "web": {                      the user's data in the web API (needs a uid of digits)
        "screen_name": "...",       default: the title
        "custom": "...",            personal domain (/custom and ?custom=); default: "name"
        "statuses_count": 12,       default: the number of posts
        "timeline_reach": 9,        newest non-pinned posts the timeline gives (default: all);
                                    older ones only through the wall and statuses/show
        "posts": [                  sorted newest first
          { "mid": "...",           digits; default 16 digits, newer posts larger
            "mblogid": "...",       default: the mid in base 62
            "text": "...",          text_raw
            "created_at": 1700000000,   seconds; default an hour before the post above
            "pics": 3               that many plain pictures, or
            "pics": [ "PID", { "pid": "...", "type": "pic|livephoto|gif", "video": "...",
                               "format": "jpg|png|webp|gif", "ext": "jpg" } ],
                                    pid default generated; a live photo's video defaults to
                                    <pic host>/livephoto/PID.mov (served, a few bytes);
                                    format: the image's bytes (default gif for a gif, else
                                    jpg); ext: its address's extension (default the format)
            "pinned": false,        isTop:1, first on timeline page 1; on the wall by its date
            "top_as": "number",     how a pinned post says so: "number" isTop:1, "boolean"
                                    isTop:true, "string" isTop:"1", "mblogtype" mblogtype:2
                                    and no isTop; given on a post, the post is pinned
            "followers_only": false,  statuses/show refuses it (error_code 20112); left out
                                    of the timeline, its pictures on the wall
            "mid_only": false } ]   (album posts) the album lists only its mid, no pid
          or { "count": 700, "pics_per_post": 3, "text": "第{post}条微博",
               "newest": 1700000000, "step": 3600, "livephoto_every": 50, "gif_every": 0,
               "mid_only_every": 0, "pinned": [5], "followers_only": [7, 9],
               "top_as": "number", "format": "jpg" }
                                    every n-th picture a live photo / gif; post numbers from 1;
                                    format: of every picture but the gifs
        "liked": [ { "author": "6200000002", "author_name": "...", ...a post as above } ]
          or { "author": "6200000002", "author_name": "...", ...a generator as above }
                                    other users' posts the user liked: in the timeline by date
                                    (outside its reach), with "title":{"text":"赞过"} and the
                                    author as user (the scenario's user of that uid, or one
                                    made of author and author_name, default 用户UID); not on
                                    the wall; statuses/show gives them
        "albums": [                 special albums (album_list), not on the wall
          { "title": "头像", "kind": "avatar",      kind default: avatar for 头像, else album
            "album_id": "35046512", "containerid": "...",   default
              231826UID_-_pc_profile_album_-_photo_-_KIND_-_ALBUMID_-_TITLE
            "posts": [ ...as above... ] } ] }
    } ],
  "pic_host": "http://127.0.0.1:{port}",  image host; {port} is the bound port (default)
  "image_bytes": 30000,             pad images to about this many bytes
  "require_login": true,            false: every page as if logged in
  "session": "...",                 a SUB cookie value accepted besides those /login hands out
  "escape_unicode": true,           non-ASCII as \uXXXX in the JSON answers
  "version_page": "<html>#weibo@@2.0#weibo</html>",   served at /version
  "wall_page_size": 30, "album_page_size": 30, "timeline_page_size": 20,
  "ok_minus_100": 0,                the first N good web API calls answer {"ok":-100,"url":...}
                                    until "/" is visited; -1: every call, for good
  "require_referer": false,         true: images and videos answer 403 unless the Referer
                                    starts with http://127.0.0.1:PORT/; or that prefix itself
  "throttle": { "max_requests": 20, "window_seconds": 10, "ban_seconds": 60,
                "retry_after_every": 2, "forever": false, "paths": "/ajax/*" },
                                    more than max_requests matching requests within the window
                                    ban them: each answered 418, every n-th (0: none) with
                                    Retry-After: seconds left; "forever": never lifted;
                                    "paths": a pattern or an array of them
  "visitors": false,                true or an object: the site's visitor system (see below)
  "visitors": { "genvisitor2": "ok", "genvisitor": "ok",
                                    "refuse": answered with retcode 50000000, "error": HTTP 500;
                                    genvisitor stands for the older handshake
                "expire_seconds": 0, "expire_calls": 0,
                                    visitor cookies go stale this long after their handshake,
                                    or after this many web API calls; 0: never
                "accepted": ["SUB"], "revoked": ["SUB"] }
                                    SUB values taken as good visitor cookies (with any SUBP)
                                    without a handshake / as stale ones
  "faults": [
    { "path": "/photos/get_all",    exact path, or a prefix when it ends in '*'
      "query": {"page": "2"},       query values the request must carry
      "host": "wx1.sinaimg.cn",     the name the Host header must give (no port, any case)
      "skip": 0, "times": 3,        skip the first matching requests, then apply to the next
                                    `times` of them (-1 or missing: all)
      "action": "empty",            "empty" (200, no body), "status", "html" (200 with an
                                    HTML page: a throttling page, or an image that is not
                                    one), "truncate" (the body is cut off after "keep_bytes",
                                    default half), "body" ("body" with "content_type", default
                                    JSON, and "status", default 200), "endless" (the answer
                                    but its last byte, then spaces for ever at
                                    bytes_per_second, default 1000, chunked, until the client
                                    hangs up) or none
      "status": 500, "retry_after": 30,   (status, body) a Retry-After header
      "delay_ms": 1500, "keep_bytes": 100,
      "bytes_per_second": 20000,    the answer trickles out at this rate
      "headers": {"Location": "http://{host}/images/default_h_large.gif",
                  "x-image-errno": "101"},
                                    added to the answer, replacing any of the same name;
                                    {port}, {origin} (http://127.0.0.1:PORT) and {host} (the
                                    request's Host header) replaced
      "pad_bytes": 5000000,         (no action) the answer made this long as it is sent: a
                                    JSON object gets a first member "_pad" of spaces,
                                    anything else trailing spaces
      "cursor": "fresh",            getImageWall and getAlbumDetail answer the first page every
                                    time, with a since_id never given before ("fresh") or
                                    always the same one ("same")
      "show_instead": "MID" }       statuses/show answers this post (mid or mblogid) instead
  ]
}
Pages: /  /login (GET form, POST username=...)  /logout  /u/UID  /NAME  /UID/albums/
/albums/get_all?uid=&count=  /photos/get_all?uid=&album_id=&count=&page=&type=&__rnd=
/large/PIC_NAME  /thumb300/PIC_NAME  /version
Web API: /n/SCREEN_NAME  /profile/UID  /login.php
/ajax/profile/info?uid=|custom=|screen_name=
/ajax/profile/getImageWall?uid=&sinceid=CURSOR[&has_album=true]   (30 a page)
/ajax/profile/getAlbumDetail?uid=&containerid=&since_id=CURSOR      (30 a page)
  CURSOR: "0" or absent: the start; else the since_id of the answer before
  ("MID_INDEX"); the last page says "0"; a cursor not given out: {"ok":0,"msg":...}
/ajax/statuses/mymblog?uid=&page=N&feature=0&since_id=S   (20 a page, pinned on top of
  page 1; page N>1 needs the since_id page N-1 gave ("MIDkpN"), else page 1 again; an
  empty list and since_id "" end it)
/ajax/statuses/show?id=MID|MBLOGID
/livephoto/PID.mov   pictures at /<any size>/PID.EXT (.jpg, .gif, ...)
/images/default_NAME.gif   the image hosts' picture for a deleted one (a GIF, 8800 bytes)
Without the SUB cookie of a login, home pages and the album service's JSON endpoints answer
with the login page; the web API answers 302 to /login.php (with "visitors": see there).
Every web API answer to a request without one of the service's XSRF-TOKEN cookies sets one.
Visitors ("visitors" on; the service is its own passport):
POST /visitor/genvisitor2 (cb=visitor_gray_callback&ver=&tid=&from=weibo&...)
  -> CB({"retcode":20000000,"msg":"succ","data":{"tid":T,"new_tid":true,"sub":S,"subp":P}});
GET /visitor/visitor?a=crossdomain&t=T&s=S&sp=P&from=weibo&_rand=R&url=U
  -> 302 to U (default /) with Set-Cookie SUB=S and SUBP=P (Path=/, no Domain, Expires a
  year on); they serve from then on
POST /visitor/genvisitor (cb=gen_callback&fp=...)
  -> CB({"retcode":20000000,"msg":"succ","data":{"tid":T,"new_tid":true,"confidence":95}});
GET /visitor/visitor?a=incarnate&t=T&w=2&c=095&gc=&cb=cross_domain&from=weibo&_rand=R
  -> CB({"retcode":20000000,"msg":"succ","data":{"sub":S,"subp":P}}); and the same cookies
  A tid serves once; one not handed out, or s/sp not its own: 400.
GET /visitor/visitor?a=enter&url=U...   the passport's page for a browser
A web API call without a login: without good visitor cookies (none, unknown, or a SUB
without its SUBP) 302 to /visitor/visitor?entry=miniblog&a=enter&url=<the call's address>
&domain=weibo.com&ua=&_rand=R; with stale ones {"ok":-100,"url":".../login.php?url=..."};
with good ones the answer, but statuses/mymblog is HTTP 403
{"ok":0,"message":"前方有点拥堵，请登录后使用"}. "/" without a login or good visitor cookies:
302 to the passport's page, url=http://127.0.0.1:PORT/. Home pages and the album service
answer visitors as before.
)";
}

}  // namespace photoservice
