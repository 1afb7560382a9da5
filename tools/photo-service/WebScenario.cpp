// Reading the web API's part of a scenario: each user's posts, special albums and the timeline's
// reach, and the top-level options (page sizes, login answers, Referer check, throttling).

#include <algorithm>
#include <cstdio>

#include "ScenarioReader.h"

namespace photoservice {
namespace {

constexpr std::int64_t kMaxPostsPerList = 99999;
constexpr std::int64_t kMaxPicturesPerPost = 100;
constexpr std::int64_t kMaxTime = 99999999999LL;

bool AllDigits(const std::string& s, std::size_t maxLength) {
    if (s.empty() || s.size() > maxLength) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::string Base62(std::uint64_t n) {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string s;
    do {
        s.insert(s.begin(), kDigits[n % 62]);
        n /= 62;
    } while (n);
    return s;
}

// A picture id in the style of the real image servers.
std::string WebPid(int listSeq, int number) {
    std::uint64_t key =
        static_cast<std::uint64_t>(listSeq) * 10000000 + static_cast<std::uint64_t>(number);
    std::uint64_t mix = (key + 0x5bd1e995) * 0x9E3779B97F4A7C15ULL;
    mix ^= mix >> 31;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(mix));
    return std::string(hex, 8) + "ly1h" + Base36(key);
}

// Post numbers (1-based, newest first) listed in a generator member.
bool Numbers(Reader& r, json_object* object, const char* key, std::set<std::int64_t>& out) {
    json_object* v = Member(object, key);
    if (!v) return true;
    if (!json_object_is_type(v, json_type_array)) {
        return r.Fail(std::string("\"") + key + "\" must be an array of post numbers");
    }
    for (std::size_t i = 0; i < json_object_array_length(v); ++i) {
        json_object* e = json_object_array_get_idx(v, i);
        if (!json_object_is_type(e, json_type_int)) {
            return r.Fail(std::string("\"") + key + "\" must be an array of post numbers");
        }
        out.insert(json_object_get_int64(e));
    }
    return true;
}

bool ReadTopStyle(Reader& r, json_object* object, TopStyle& style) {
    std::string name;
    if (!r.Text(object, "top_as", name)) return false;
    if (name.empty() || name == "number") {
        style = TopStyle::Number;
    } else if (name == "boolean") {
        style = TopStyle::Boolean;
    } else if (name == "string") {
        style = TopStyle::String;
    } else if (name == "mblogtype") {
        style = TopStyle::MblogType;
    } else {
        return r.Fail("\"top_as\" is \"number\", \"boolean\", \"string\" or \"mblogtype\"");
    }
    return true;
}

// The picture's format and its address's extension: a gif is a GIF, anything else a JPEG
// unless the scenario says otherwise; the extension follows the format unless given.
bool SettleFormat(Reader& r, WebPicture& picture) {
    if (picture.format.empty()) picture.format = picture.type == "gif" ? "gif" : "jpg";
    if (picture.format != "jpg" && picture.format != "png" && picture.format != "webp" &&
        picture.format != "gif") {
        return r.Fail("a picture's \"format\" is \"jpg\", \"png\", \"webp\" or \"gif\"");
    }
    if (picture.ext.empty()) picture.ext = picture.format;
    if (!IsPlainName(picture.ext) || picture.ext.find('.') != std::string::npos)
        return r.Fail("a picture's \"ext\" is a plain name without '.'");
    return true;
}

bool ReadPicture(Reader& r, json_object* p, WebPicture& picture) {
    if (json_object_is_type(p, json_type_string)) {
        picture.pid = json_object_get_string(p);
    } else if (json_object_is_type(p, json_type_object)) {
        if (!r.Text(p, "pid", picture.pid) || !r.Text(p, "type", picture.type) ||
            !r.Text(p, "video", picture.video) || !r.Text(p, "format", picture.format) ||
            !r.Text(p, "ext", picture.ext)) {
            return false;
        }
    } else {
        return r.Fail("a picture is a pid or an object");
    }
    if (picture.type != "pic" && picture.type != "livephoto" && picture.type != "gif")
        return r.Fail("a picture's \"type\" is \"pic\", \"livephoto\" or \"gif\"");
    return true;
}

bool ReadPostArray(Reader& r, json_object* posts, std::vector<WebPost>& out) {
    std::size_t n = json_object_array_length(posts);
    if (n > static_cast<std::size_t>(kMaxPostsPerList)) return r.Fail("too many posts");
    std::int64_t previous = 1700000000 + 3600;
    for (std::size_t i = 0; i < n; ++i) {
        json_object* p = json_object_array_get_idx(posts, i);
        if (!json_object_is_type(p, json_type_object)) return r.Fail("a post must be an object");
        WebPost post;
        post.createdAt = previous - 3600;
        if (!r.Text(p, "mid", post.mid) || !r.Text(p, "mblogid", post.mblogid) ||
            !r.Text(p, "text", post.text) || !r.Int(p, "created_at", post.createdAt, 0, kMaxTime) ||
            !r.Bool(p, "pinned", post.pinned) || !r.Bool(p, "followers_only", post.followersOnly) ||
            !r.Bool(p, "mid_only", post.midOnly) || !ReadTopStyle(r, p, post.topStyle) ||
            !r.Text(p, "author", post.author) || !r.Text(p, "author_name", post.authorName)) {
            return false;
        }
        if (Member(p, "top_as")) post.pinned = true;
        previous = post.createdAt;
        json_object* pics = Member(p, "pics");
        if (json_object_is_type(pics, json_type_int)) {
            std::int64_t count = 0;
            if (!r.Int(p, "pics", count, 0, kMaxPicturesPerPost)) return false;
            post.pictures.resize(static_cast<std::size_t>(count));
        } else if (json_object_is_type(pics, json_type_array)) {
            if (json_object_array_length(pics) > static_cast<std::size_t>(kMaxPicturesPerPost))
                return r.Fail("too many pictures in one post");
            for (std::size_t k = 0; k < json_object_array_length(pics); ++k) {
                WebPicture picture;
                if (!ReadPicture(r, json_object_array_get_idx(pics, k), picture)) return false;
                post.pictures.push_back(std::move(picture));
            }
        } else if (pics) {
            return r.Fail("\"pics\" is a count or an array of pictures");
        }
        out.push_back(std::move(post));
    }
    return true;
}

bool GeneratePosts(Reader& r, json_object* g, std::vector<WebPost>& out) {
    std::int64_t count = 0, perPost = 1, newest = 1700000000, step = 3600, liveEvery = 0,
                 gifEvery = 0, midOnlyEvery = 0;
    std::string text = "第{post}条微博", format, author, authorName;
    std::set<std::int64_t> pinned, followersOnly;
    TopStyle topStyle = TopStyle::Number;
    if (!r.Int(g, "count", count, 0, kMaxPostsPerList) ||
        !r.Int(g, "pics_per_post", perPost, 0, kMaxPicturesPerPost) ||
        !r.Int(g, "newest", newest, 0, kMaxTime) || !r.Int(g, "step", step, 0, 100000000) ||
        !r.Int(g, "livephoto_every", liveEvery, 0, 100000000) ||
        !r.Int(g, "gif_every", gifEvery, 0, 100000000) ||
        !r.Int(g, "mid_only_every", midOnlyEvery, 0, 100000000) || !r.Text(g, "text", text) ||
        !Numbers(r, g, "pinned", pinned) || !Numbers(r, g, "followers_only", followersOnly) ||
        !ReadTopStyle(r, g, topStyle) || !r.Text(g, "format", format) ||
        !r.Text(g, "author", author) || !r.Text(g, "author_name", authorName)) {
        return false;
    }
    std::int64_t picture = 0;
    for (std::int64_t i = 1; i <= count; ++i) {
        WebPost post;
        post.text = Replace(text, "{post}", std::to_string(i));
        post.createdAt = std::max<std::int64_t>(0, newest - (i - 1) * step);
        post.pinned = pinned.count(i) > 0;
        post.topStyle = topStyle;
        post.author = author;
        post.authorName = authorName;
        post.followersOnly = followersOnly.count(i) > 0;
        post.midOnly = midOnlyEvery > 0 && i % midOnlyEvery == 0;
        for (std::int64_t k = 0; k < perPost; ++k) {
            WebPicture pic;
            ++picture;
            if (liveEvery > 0 && picture % liveEvery == 0) {
                pic.type = "livephoto";
            } else if (gifEvery > 0 && picture % gifEvery == 0) {
                pic.type = "gif";
            }
            if (pic.type != "gif") pic.format = format;
            post.pictures.push_back(std::move(pic));
        }
        out.push_back(std::move(post));
    }
    return true;
}

// Reads "posts" (an array or a generator), sorts them newest first and fills in what the
// scenario left out: mids, mblogids, pids and the images' colours and labels. Liked posts
// name their author; the user's own do not.
bool ReadPosts(Reader& r, json_object* posts, std::vector<WebPost>& out, int listSeq, long& total,
               bool liked = false) {
    if (json_object_is_type(posts, json_type_array)) {
        if (!ReadPostArray(r, posts, out)) return false;
    } else if (json_object_is_type(posts, json_type_object)) {
        if (!GeneratePosts(r, posts, out)) return false;
    } else if (posts) {
        return r.Fail("\"posts\" must be an array or an object");
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const WebPost& a, const WebPost& b) { return a.createdAt > b.createdAt; });
    int number = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        WebPost& post = out[i];
        if (post.mid.empty()) {
            post.mid =
                std::to_string(5000000000000000LL + static_cast<long long>(listSeq) * 100000 +
                               static_cast<long long>(out.size() - i));
        }
        if (!AllDigits(post.mid, 18)) return r.Fail("a post's \"mid\" must be digits");
        if (post.mblogid.empty()) post.mblogid = Base62(std::stoull(post.mid));
        if (!IsPlainName(post.mblogid)) return r.Fail("a post's \"mblogid\" must be a plain name");
        if (liked && !AllDigits(post.author, 18))
            return r.Fail("a liked post needs an \"author\" of digits");
        if (!liked && (!post.author.empty() || !post.authorName.empty()))
            return r.Fail("only liked posts have an \"author\"");
        for (WebPicture& picture : post.pictures) {
            ++number;
            if (picture.pid.empty()) picture.pid = WebPid(listSeq, number);
            if (!IsPlainName(picture.pid))
                return r.Fail("a pid may hold only letters, digits, '_', '-' and '.'");
            if (!SettleFormat(r, picture)) return false;
            picture.seed = listSeq * 1000 + number;
            picture.label = std::to_string(number % 1000000);
        }
        total += static_cast<long>(post.pictures.size());
    }
    return total <= kMaxPhotosInAll || r.Fail("too many photos in all");
}

bool ReadWebAlbum(Reader& r, json_object* a, const User& user, std::size_t index, WebAlbum& album,
                  int& listSeq, long& total) {
    if (!json_object_is_type(a, json_type_object)) return r.Fail("a web album must be an object");
    album.title = "头像";
    std::string kind, albumId = std::to_string(35046512 + index);
    if (!r.Text(a, "title", album.title) || !r.Text(a, "kind", kind) ||
        !r.Text(a, "album_id", albumId) || !r.Text(a, "containerid", album.containerId)) {
        return false;
    }
    if (kind.empty()) kind = album.title == "头像" ? "avatar" : "album";
    if (album.containerId.empty()) {
        album.containerId = "231826" + user.uid + "_-_pc_profile_album_-_photo_-_" + kind + "_-_" +
                            albumId + "_-_" + album.title;
    }
    return ReadPosts(r, Member(a, "posts"), album.posts, ++listSeq, total);
}

bool ReadPattern(Reader& r, json_object* v, PathPattern& pattern) {
    if (!json_object_is_type(v, json_type_string))
        return r.Fail("\"paths\" is a path pattern or an array of them");
    pattern.path = json_object_get_string(v);
    if (!pattern.path.empty() && pattern.path.back() == '*') {
        pattern.prefix = true;
        pattern.path.pop_back();
    }
    return true;
}

bool ReadThrottle(Reader& r, json_object* t, Throttle& throttle) {
    if (!t) return true;
    if (!json_object_is_type(t, json_type_object)) return r.Fail("\"throttle\" must be an object");
    std::int64_t maxRequests = throttle.maxRequests, window = 10, ban = 60, every = 0;
    if (!r.Int(t, "max_requests", maxRequests, 0, 1000000000) ||
        !r.Int(t, "window_seconds", window, 1, 100000000) ||
        !r.Int(t, "ban_seconds", ban, 0, 100000000) ||
        !r.Int(t, "retry_after_every", every, 0, 1000000000) ||
        !r.Bool(t, "forever", throttle.forever)) {
        return false;
    }
    throttle.enabled = true;
    throttle.maxRequests = static_cast<int>(maxRequests);
    throttle.windowSeconds = static_cast<double>(window);
    throttle.banSeconds = static_cast<double>(ban);
    throttle.retryAfterEvery = static_cast<int>(every);
    json_object* paths = Member(t, "paths");
    if (!paths) {
        throttle.paths.push_back({"/ajax/", true});
    } else if (json_object_is_type(paths, json_type_array)) {
        for (std::size_t i = 0; i < json_object_array_length(paths); ++i) {
            PathPattern pattern;
            if (!ReadPattern(r, json_object_array_get_idx(paths, i), pattern)) return false;
            throttle.paths.push_back(std::move(pattern));
        }
    } else {
        PathPattern pattern;
        if (!ReadPattern(r, paths, pattern)) return false;
        throttle.paths.push_back(std::move(pattern));
    }
    return true;
}

bool ReadHandshake(Reader& r, json_object* v, const char* key, std::string& out) {
    if (!r.Text(v, key, out)) return false;
    if (out != "ok" && out != "refuse" && out != "error")
        return r.Fail(std::string("\"") + key + "\" is \"ok\", \"refuse\" or \"error\"");
    return true;
}

bool ReadVisitors(Reader& r, json_object* v, VisitorRules& rules) {
    if (!v) return true;
    if (json_object_is_type(v, json_type_boolean)) {
        rules.enabled = json_object_get_boolean(v);
        return true;
    }
    if (!json_object_is_type(v, json_type_object))
        return r.Fail("\"visitors\" is true, false or an object");
    rules.enabled = true;
    return ReadHandshake(r, v, "genvisitor2", rules.current) &&
           ReadHandshake(r, v, "genvisitor", rules.older) &&
           r.Int(v, "expire_seconds", rules.expireSeconds, 0, 100000000) &&
           r.Int(v, "expire_calls", rules.expireCalls, 0, 1000000000) &&
           r.Names(v, "accepted", rules.accepted) && r.Names(v, "revoked", rules.revoked);
}

}  // namespace

bool ReadWebOptions(Reader& r, json_object* top, Scenario& s) {
    std::int64_t wall = s.wallPageSize, album = s.albumPageSize, timeline = s.timelinePageSize,
                 minus100 = 0;
    if (!r.Int(top, "wall_page_size", wall, 1, 10000) ||
        !r.Int(top, "album_page_size", album, 1, 10000) ||
        !r.Int(top, "timeline_page_size", timeline, 1, 10000) ||
        !r.Int(top, "ok_minus_100", minus100, -1, 1000000000) ||
        !ReadThrottle(r, Member(top, "throttle"), s.throttle) ||
        !ReadVisitors(r, Member(top, "visitors"), s.visitors)) {
        return false;
    }
    s.wallPageSize = static_cast<int>(wall);
    s.albumPageSize = static_cast<int>(album);
    s.timelinePageSize = static_cast<int>(timeline);
    s.okMinus100 = static_cast<int>(minus100);
    if (json_object* referer = Member(top, "require_referer")) {
        if (json_object_is_type(referer, json_type_boolean)) {
            if (json_object_get_boolean(referer)) s.requireReferer = "http://127.0.0.1:{port}/";
        } else if (!r.Text(top, "require_referer", s.requireReferer)) {
            return false;
        }
    }
    return true;
}

bool ReadWebProfile(Reader& r, json_object* u, User& user, int& listSeq, long& total) {
    json_object* web = Member(u, "web");
    WebProfile& profile = user.web;
    profile.screenName = user.title;
    profile.custom = user.name;
    if ((web || user.noMarker) && !AllDigits(user.uid, 18))
        return r.Fail("a user of the web API needs a uid of digits");
    if (!web) return true;
    if (!json_object_is_type(web, json_type_object)) return r.Fail("\"web\" must be an object");
    std::int64_t reach = -1, statuses = -1;
    if (!r.Text(web, "screen_name", profile.screenName) || !r.Text(web, "custom", profile.custom) ||
        !r.Int(web, "timeline_reach", reach, 0, kMaxPostsPerList) ||
        !r.Int(web, "statuses_count", statuses, 0, 1000000000)) {
        return false;
    }
    if (!profile.custom.empty() && !IsPlainName(profile.custom))
        return r.Fail("\"custom\" may hold only letters, digits, '_', '-' and '.'");
    if (!ReadPosts(r, Member(web, "posts"), profile.posts, ++listSeq, total) ||
        (Member(web, "liked") &&
         !ReadPosts(r, Member(web, "liked"), profile.liked, ++listSeq, total, true))) {
        return false;
    }
    profile.timelineReach = reach < 0 ? profile.posts.size() : static_cast<std::size_t>(reach);
    profile.statusesCount =
        statuses < 0 ? static_cast<std::int64_t>(profile.posts.size()) : statuses;
    json_object* albums = Member(web, "albums");
    if (albums && !json_object_is_type(albums, json_type_array))
        return r.Fail("\"web\": \"albums\" must be an array");
    for (std::size_t i = 0; albums && i < json_object_array_length(albums); ++i) {
        WebAlbum album;
        if (!ReadWebAlbum(r, json_object_array_get_idx(albums, i), user, i, album, listSeq, total))
            return false;
        profile.albums.push_back(std::move(album));
    }
    return true;
}

}  // namespace photoservice
