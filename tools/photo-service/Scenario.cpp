#include "Scenario.h"

#include <json-c/json.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

namespace photoservice {
namespace {

constexpr int kMaxPhotosPerAlbum = 99999;
constexpr long kMaxPhotosInAll = 2000000;

struct JsonDeleter {
    void operator()(json_object* o) const { json_object_put(o); }
};

json_object* Member(json_object* object, const char* key) {
    json_object* value = nullptr;
    if (json_object_is_type(object, json_type_object))
        json_object_object_get_ex(object, key, &value);
    return value;
}

class Reader {
  public:
    std::string error;

    bool Fail(const std::string& message) {
        if (error.empty()) error = message;
        return false;
    }

    // A member read as text: strings as they are, numbers in decimal.
    bool Text(json_object* object, const char* key, std::string& out, bool required = false) {
        json_object* v = Member(object, key);
        if (!v) return !required || Fail(std::string("missing \"") + key + "\"");
        if (json_object_is_type(v, json_type_string)) {
            out.assign(json_object_get_string(v),
                       static_cast<std::size_t>(json_object_get_string_len(v)));
        } else if (json_object_is_type(v, json_type_int)) {
            out = std::to_string(json_object_get_int64(v));
        } else {
            return Fail(std::string("\"") + key + "\" must be a string");
        }
        return true;
    }

    bool Int(json_object* object, const char* key, std::int64_t& out, std::int64_t lo,
             std::int64_t hi) {
        json_object* v = Member(object, key);
        if (!v) return true;
        if (!json_object_is_type(v, json_type_int)) {
            return Fail(std::string("\"") + key + "\" must be an integer");
        }
        std::int64_t n = json_object_get_int64(v);
        if (n < lo || n > hi) return Fail(std::string("\"") + key + "\" is out of range");
        out = n;
        return true;
    }

    bool Bool(json_object* object, const char* key, bool& out) {
        json_object* v = Member(object, key);
        if (!v) return true;
        if (!json_object_is_type(v, json_type_boolean)) {
            return Fail(std::string("\"") + key + "\" must be true or false");
        }
        out = json_object_get_boolean(v);
        return true;
    }

    bool Names(json_object* object, const char* key, std::set<std::string>& out) {
        json_object* v = Member(object, key);
        if (!v) return true;
        if (!json_object_is_type(v, json_type_array)) {
            return Fail(std::string("\"") + key + "\" must be an array of member names");
        }
        for (std::size_t i = 0; i < json_object_array_length(v); ++i) {
            json_object* e = json_object_array_get_idx(v, i);
            if (!json_object_is_type(e, json_type_string)) {
                return Fail(std::string("\"") + key + "\" must be an array of member names");
            }
            out.insert(json_object_get_string(e));
        }
        return true;
    }
};

bool IsPlainName(const std::string& s) {
    if (s.empty() || s.size() > 64) return false;
    for (char c : s) {
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  c == '_' || c == '-' || c == '.';
        if (!ok) return false;
    }
    return true;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t pos = s.find(from); pos != std::string::npos;
         pos = s.find(from, pos + to.size())) {
        s.replace(pos, from.size(), to);
    }
    return s;
}

std::string Base36(std::uint64_t n) {
    std::string s;
    do {
        s.insert(s.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36]);
        n /= 36;
    } while (n);
    return s;
}

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
    std::int64_t skip = 0, times = -1, status = 500, delay = 0, keep = -1, rate = 0;
    if (!r.Text(f, "path", fault.path, true) || !r.Text(f, "action", fault.action) ||
        !r.Int(f, "skip", skip, 0, 1000000000) || !r.Int(f, "times", times, -1, 1000000000) ||
        !r.Int(f, "status", status, 100, 599) || !r.Int(f, "delay_ms", delay, 0, 600000) ||
        !r.Int(f, "keep_bytes", keep, -1, 1000000000) ||
        !r.Int(f, "bytes_per_second", rate, 0, 1000000000)) {
        return false;
    }
    if (!fault.path.empty() && fault.path.back() == '*') {
        fault.prefix = true;
        fault.path.pop_back();
    }
    if (fault.action != "" && fault.action != "empty" && fault.action != "status" &&
        fault.action != "html" && fault.action != "truncate") {
        return r.Fail("unknown fault action \"" + fault.action + "\"");
    }
    fault.skip = static_cast<int>(skip);
    fault.times = static_cast<int>(times);
    fault.status = static_cast<int>(status);
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
    return true;
}

}  // namespace

const User* Scenario::FindUser(const std::string& uidOrName) const {
    for (const User& u : users) {
        if (u.uid == uidOrName || (!u.name.empty() && u.name == uidOrName)) return &u;
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
            r.Bool(top, "escape_unicode", s.escapeUnicode);
    }
    s.imageBytes = static_cast<std::size_t>(imageBytes);
    if (s.versionPage.empty()) s.versionPage = "<html><body>#weibo@@2.0#weibo</body></html>";

    json_object* users = Member(top, "users");
    if (r.error.empty() && !json_object_is_type(users, json_type_array)) {
        r.Fail("the scenario needs a \"users\" array");
    }
    long total = 0;
    int albumSeq = 0;
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
        if (marker != "oid" && marker != "owner_uid") {
            r.Fail("\"marker\" is \"oid\" or \"owner_uid\"");
            break;
        }
        user.ownerUidMarker = marker == "owner_uid";
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
      "marker": "oid",              "oid": $CONFIG['oid']='UID'; "owner_uid": only owner_uid: UID,
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
        } ] } ],
  "pic_host": "http://127.0.0.1:{port}",  image host; {port} is the bound port (default)
  "image_bytes": 30000,             pad images to about this many bytes
  "require_login": true,            false: every page as if logged in
  "session": "...",                 a SUB cookie value accepted besides those /login hands out
  "escape_unicode": true,           non-ASCII as \uXXXX in the JSON answers
  "version_page": "<html>#weibo@@2.0#weibo</html>",   served at /version
  "faults": [
    { "path": "/photos/get_all",    exact path, or a prefix when it ends in '*'
      "query": {"page": "2"},       query values the request must carry
      "skip": 0, "times": 3,        skip the first matching requests, then apply to the next
                                    `times` of them (-1 or missing: all)
      "action": "empty",            "empty" (200, no body), "status", "html" (200 with an
                                    HTML page: a throttling page, or an image that is not
                                    one), "truncate" (the body is cut off after "keep_bytes",
                                    default half) or none
      "status": 500, "delay_ms": 1500, "keep_bytes": 100,
      "bytes_per_second": 20000 }   the answer trickles out at this rate ]
}
Pages: /  /login (GET form, POST username=...)  /logout  /u/UID  /NAME  /UID/albums/
/albums/get_all?uid=&count=  /photos/get_all?uid=&album_id=&count=&page=&type=&__rnd=
/large/PIC_NAME  /thumb300/PIC_NAME  /version
Without the SUB cookie, home pages and the JSON endpoints answer with the login page.
)";
}

}  // namespace photoservice
