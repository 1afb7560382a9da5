#include "catalogue/WebProtocol.h"

#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/Catalogue.h"
#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/CookieStore.h"
#include "web/PumpingDelay.h"
#include "web/UrlHelpers.h"
#include "web/WebRequest.h"

namespace ovx {
namespace {

constexpr int kPageTries = 10;
constexpr int kFollowersOnly = 20112;
constexpr const char* kDesktopAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36";

// A member as plain text: the JSON text form without quotes and escaping backslashes (ids,
// cursors and addresses hold none of their own); a missing member or null reads empty.
Text Plain(const JsonValue& value, const char* key) {
    const Text text = ReplaceText(value.MemberText(key), Text("\\"), Text());
    return text == Text("null") ? Text() : text;
}

bool IsEndCursor(const Text& cursor) {
    return cursor.empty() || cursor == Text("0");
}

// Compares two decimal ids by value (both digits; a longer one is larger).
int CompareIds(const Text& a, const Text& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.view() < b.view() ? -1 : (a.view() == b.view() ? 0 : 1);
}

bool AllDigits(std::string_view v) {
    if (v.empty()) return false;
    for (const char c : v) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// "%20" and the like in a path segment, back to the text it stands for.
Text DecodePercent(const Text& segment) {
    const std::string_view v = segment.view();
    std::string out;
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '%' && i + 2 < v.size() && hex(v[i + 1]) >= 0 && hex(v[i + 2]) >= 0) {
            out += static_cast<char>(hex(v[i + 1]) * 16 + hex(v[i + 2]));
            i += 2;
        } else {
            out += v[i];
        }
    }
    return Utf8ToLocal(out);
}

}  // namespace

// The upload time of a post: "Tue Dec 08 10:00:00 +0800 2026" in seconds since 1970 UTC.
std::optional<std::int64_t> WebPostSeconds(const Text& createdAt) {
    const TextArray parts = SplitText(TrimSpaces(createdAt), Text(" "));
    if (parts.size() != 6) return std::nullopt;
    static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    unsigned month = 0;
    for (unsigned i = 0; i < kMonths.size(); ++i) {
        if (parts[1] == Text(kMonths[i])) month = i + 1;
    }
    const std::string_view day = parts[2].view(), clock = parts[3].view(), zone = parts[4].view(),
                           year = parts[5].view();
    if (month == 0 || !AllDigits(day) || day.size() > 2 || clock.size() != 8 || zone.size() != 5 ||
        (zone[0] != '+' && zone[0] != '-') || !AllDigits(zone.substr(1)) || !AllDigits(year) ||
        year.size() != 4 || clock[2] != ':' || clock[5] != ':' || !AllDigits(clock.substr(0, 2)) ||
        !AllDigits(clock.substr(3, 2)) || !AllDigits(clock.substr(6, 2))) {
        return std::nullopt;
    }
    const int d = std::stoi(std::string(day));
    const int h = std::stoi(std::string(clock.substr(0, 2)));
    const int mi = std::stoi(std::string(clock.substr(3, 2)));
    const int s = std::stoi(std::string(clock.substr(6, 2)));
    if (d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return std::nullopt;
    const int offset = (std::stoi(std::string(zone.substr(1, 2))) * 60 +
                        std::stoi(std::string(zone.substr(3, 2)))) *
                       60 * (zone[0] == '-' ? -1 : 1);
    return DaysFromCivil(std::stoi(std::string(year)), month, static_cast<unsigned>(d)) * 86400 +
           h * 3600 + mi * 60 + s - offset;
}

namespace {

// The posts the pictures of one album belong to: read lazily from the user's timeline,
// newest first, as far as a wanted post needs; a post the timeline does not give is asked
// for on its own.
class PostSource {
  public:
    PostSource(WebProtocol& web, const ListedUser& user, const RunHooks& hooks)
        : web_(web), user_(user), hooks_(hooks) {}

    enum class Found { Post, Missing, Hidden, Stopped, NotLoggedIn, Refused };

    Found Find(const Text& mid, JsonValue& post) {
        for (;;) {
            if (auto it = posts_.find(mid.bytes()); it != posts_.end()) {
                post = it->second;
                return Found::Post;
            }
            // Newest first: once a post older than the wanted one was read, it is not coming.
            if (timelineEnded_ || (!oldestRead_.empty() && CompareIds(oldestRead_, mid) < 0)) {
                break;
            }
            const Found read = ReadTimelinePage();
            if (read != Found::Post) {
                if (read == Found::Missing) break;
                return read;
            }
        }
        return Show(mid, post);
    }

  private:
    Found ReadTimelinePage() {
        ++page_;
        Text query = Text("/ajax/statuses/mymblog?uid=") + EncodeQueryValue(user_.userId) +
                     Text("&page=") + ToText(page_) + Text("&feature=0");
        if (!sinceId_.empty()) query += Text("&since_id=") + EncodeQueryValue(sinceId_);
        JsonValue answer;
        const Found called = CallPage(query, answer);
        if (called != Found::Post) {
            timelineEnded_ = true;
            return called == Found::Missing ? Found::Missing : called;
        }
        const JsonValue list = answer.Member("data").Member("list");
        const int n = list.Length();
        sinceId_ = Plain(answer.Member("data"), "since_id");
        if (n == 0 || IsEndCursor(sinceId_) || !seenCursors_.insert(sinceId_.bytes()).second) {
            timelineEnded_ = true;
        }
        for (int i = 0; i < n; ++i) {
            const JsonValue post = list.Element(i);
            Text id = Plain(post, "mid");
            if (id.empty()) id = Plain(post, "idstr");
            if (!AllDigits(id.view())) continue;
            posts_.emplace(id.bytes(), post);
            // A pinned post sits on top whatever its age: it neither ends nor orders anything.
            if (Plain(post, "isTop") == Text("1")) continue;
            if (oldestRead_.empty() || CompareIds(id, oldestRead_) < 0) oldestRead_ = id;
        }
        return n == 0 ? Found::Missing : Found::Post;
    }

    Found Show(const Text& mid, JsonValue& post) {
        // A post asked for once is not asked for again, whatever the answer was.
        if (auto it = unavailable_.find(mid.bytes()); it != unavailable_.end()) return it->second;
        const Found found = AskForPost(mid, post);
        if (found == Found::Hidden || found == Found::Missing) unavailable_[mid.bytes()] = found;
        return found;
    }

    Found AskForPost(const Text& mid, JsonValue& post) {
        JsonValue answer;
        Text failure;
        const WebProtocol::CallResult r =
            web_.Call(Text("/ajax/statuses/show?id=") + EncodeQueryValue(mid), Referer(), hooks_,
                      answer, failure);
        if (r == WebProtocol::CallResult::Stopped) return Found::Stopped;
        if (r == WebProtocol::CallResult::NotLoggedIn) return Found::NotLoggedIn;
        if (r == WebProtocol::CallResult::Refused) return Found::Refused;
        if (r != WebProtocol::CallResult::Answer) return Found::Missing;
        if (Plain(answer, "ok") == Text("1")) {
            posts_.emplace(mid.bytes(), answer);
            post = answer;
            return Found::Post;
        }
        if (ToInt(Plain(answer, "error_code")) == kFollowersOnly) return Found::Hidden;
        return Found::Missing;
    }

    Found CallPage(const Text& query, JsonValue& answer) {
        Text failure;
        switch (web_.Call(query, Referer(), hooks_, answer, failure)) {
            case WebProtocol::CallResult::Answer:
                return Plain(answer, "ok") == Text("1") ? Found::Post : Found::Missing;
            case WebProtocol::CallResult::Stopped:
                return Found::Stopped;
            case WebProtocol::CallResult::NotLoggedIn:
                return Found::NotLoggedIn;
            case WebProtocol::CallResult::Refused:
                return Found::Refused;
            default:
                return Found::Missing;
        }
    }

    Text Referer() const { return Text("/u/") + user_.userId; }

    WebProtocol& web_;
    ListedUser user_;
    const RunHooks& hooks_;
    std::map<std::string, JsonValue> posts_;
    std::map<std::string, Found> unavailable_;
    std::set<std::string> seenCursors_;
    Text sinceId_;
    Text oldestRead_;
    int page_ = 0;
    bool timelineEnded_ = false;
};

// One album of the web API (the photo wall or a special album), paged by its cursor.
class WebCursor : public PhotoCursor {
  public:
    WebCursor(WebProtocol& web, const ServiceSettings& settings, const ListedUser& user,
              const AlbumListing& album, const RunHooks& hooks)
        : web_(web),
          settings_(settings),
          user_(user),
          hooks_(hooks),
          wall_(album.albumKey == WebProtocol::WallKey()),
          containerId_(album.albumKey),
          posts_(web, user, hooks_) {}

    Step Next(PhotoItem& item) override {
        for (;;) {
            if (!pending_.empty()) {
                item = pending_.front();
                pending_.erase(pending_.begin());
                return Step::Photo;
            }
            while (index_ >= list_.Length()) {
                if (ended_) return Step::End;
                const Step fetched = FetchPage();
                if (fetched != Step::Photo) return fetched;
            }
            const JsonValue entry = list_.Element(index_++);
            const Step expanded = Expand(entry);
            if (expanded != Step::Photo) return expanded;
        }
    }

  private:
    Step FetchPage() {
        Text query;
        const Text uid = EncodeQueryValue(user_.userId);
        if (wall_) {
            query = Text("/ajax/profile/getImageWall?uid=") + uid + Text("&sinceid=") +
                    EncodeQueryValue(cursor_.empty() ? Text("0") : cursor_);
        } else {
            query = Text("/ajax/profile/getAlbumDetail?uid=") + uid + Text("&containerid=") +
                    EncodeQueryValue(containerId_);
            if (!cursor_.empty()) query += Text("&since_id=") + EncodeQueryValue(cursor_);
        }
        ++page_;
        JsonValue answer;
        Text message;
        for (int attempt = 1; attempt <= kPageTries; ++attempt) {
            if (!hooks_.Checkpoint()) return Step::Stopped;
            Text failure;
            const WebProtocol::CallResult r =
                web_.Call(query, Text("/u/") + user_.userId, hooks_, answer, failure);
            if (r == WebProtocol::CallResult::Stopped) return Step::Stopped;
            if (r == WebProtocol::CallResult::NotLoggedIn) {
                hooks_.Log("未登录或登录已失效，请先在第一步登录\r\n"_t);
                return Step::NotLoggedIn;
            }
            if (r == WebProtocol::CallResult::Refused) return Step::Refused;
            if (r == WebProtocol::CallResult::Answer && Plain(answer, "ok") == Text("1")) {
                list_ = answer.Member("data").Member("list");
                index_ = 0;
                const Text next = Plain(answer.Member("data"), "since_id");
                if (IsEndCursor(next) || list_.Length() == 0) {
                    ended_ = true;
                } else if (!seen_.insert(next.bytes()).second) {
                    // The service gave a cursor it gave before: going on would loop.
                    hooks_.Log("相册《"_t + hooks_.albumTitle +
                               "》的翻页标记重复，已结束本相册\r\n"_t);
                    ended_ = true;
                }
                cursor_ = next;
                return Step::Photo;
            }
            if (r == WebProtocol::CallResult::Answer) message = Plain(answer, "msg");
            PumpingDelay(hooks_.pageRetryWait.count(), DelayUnit::Milliseconds);
            if (StopRequested()) return Step::Stopped;
        }
        hooks_.Log("相册《"_t + hooks_.albumTitle + "》第"_t + ToText(page_) + "页读取失败"_t +
                   (message.empty() ? Text() : Text("（") + message + Text("）")) +
                   "，已跳过\r\n"_t);
        if (hooks_.pageLost) hooks_.pageLost();
        // Without the page there is no cursor to the next one.
        ended_ = true;
        list_ = JsonValue();
        index_ = 0;
        return Step::Photo;
    }

    // One listed entry: a picture (with or without its post), or a post standing for its
    // pictures.
    Step Expand(const JsonValue& entry) {
        const Text pid = Plain(entry, "pid");
        const Text mid = Plain(entry, "mid");
        // A picture the run passes over anyway needs no post: no request for it.
        if (!pid.empty() && hooks_.passedOver && hooks_.passedOver(pid)) {
            pending_.push_back(Picture(pid, nullptr, Plain(entry, "type"), Plain(entry, "video")));
            return Step::Photo;
        }
        JsonValue post;
        bool hasPost = false;
        if (AllDigits(mid.view())) {
            const PostSource::Found found = posts_.Find(mid, post);
            switch (found) {
                case PostSource::Found::Stopped:
                    return Step::Stopped;
                case PostSource::Found::NotLoggedIn:
                    hooks_.Log("未登录或登录已失效，请先在第一步登录\r\n"_t);
                    return Step::NotLoggedIn;
                case PostSource::Found::Refused:
                    return Step::Refused;
                case PostSource::Found::Hidden:
                    // Followers only: said once, its pictures passed over (not recorded).
                    if (hidden_.insert(mid.bytes()).second) {
                        hooks_.Log("微博 "_t + mid + " 仅粉丝可见，其图片已跳过\r\n"_t);
                    }
                    ++position_;
                    return Step::Photo;
                case PostSource::Found::Post:
                    hasPost = true;
                    break;
                case PostSource::Found::Missing:
                    break;
            }
        }
        if (!pid.empty()) {
            pending_.push_back(Picture(pid, hasPost ? &post : nullptr, Plain(entry, "type"),
                                       Plain(entry, "video")));
        } else if (hasPost) {
            const JsonValue ids = post.Member("pic_ids");
            for (int i = 0; i < ids.Length(); ++i) {
                const Text id = ReplaceText(ids.Element(i).ToText(), Text("\""), Text());
                if (!id.empty()) pending_.push_back(Picture(id, &post, Text(), Text()));
            }
        }
        return Step::Photo;
    }

    PhotoItem Picture(const Text& pid, const JsonValue* post, const Text& type, const Text& video) {
        PhotoItem item;
        item.photoId = pid;
        item.position = ++position_;
        JsonValue info;
        if (post != nullptr) {
            item.caption = post->MemberText("text_raw");
            item.uploadSeconds = WebPostSeconds(Plain(*post, "created_at"));
            info = post->Member("pic_infos").Member(pid);
            item.imageAddress = Plain(info.Member("largest"), "url");
        }
        if (item.imageAddress.empty()) {
            item.imageAddress =
                settings_.imageService + Text("/large/") + EncodeQueryValue(pid) + Text(".jpg");
        }
        item.extension =
            FindText(item.imageAddress, Text(".gif")) > 0 ? Text(".gif") : Text(".jpg");
        const Text kind = type.empty() ? Plain(info, "type") : type;
        if (kind == Text("livephoto")) {
            Text address = Plain(info, "video");
            if (address.empty()) address = video;
            if (!address.empty()) item.videoAddress = address;
        }
        return item;
    }

    WebProtocol& web_;
    const ServiceSettings& settings_;
    ListedUser user_;
    RunHooks hooks_;
    bool wall_;
    Text containerId_;
    PostSource posts_;
    JsonValue list_;
    int index_ = 0;
    int page_ = 0;
    int position_ = 0;
    Text cursor_;
    std::set<std::string> seen_;
    std::set<std::string> hidden_;
    bool ended_ = false;
    std::vector<PhotoItem> pending_;
};

}  // namespace

namespace {

// The outcome a call's result ends a resolution or a list with; none when it goes on (an
// answer, or a failed call whose missing members read as nothing).
std::optional<ServiceOutcome> EndOf(WebProtocol::CallResult r) {
    switch (r) {
        case WebProtocol::CallResult::Unreachable:
            return ServiceOutcome::Unreachable;
        case WebProtocol::CallResult::NotLoggedIn:
            return ServiceOutcome::NotLoggedIn;
        case WebProtocol::CallResult::Refused:
            return ServiceOutcome::Refused;
        case WebProtocol::CallResult::Stopped:
            return ServiceOutcome::Stopped;
        case WebProtocol::CallResult::Answer:
        case WebProtocol::CallResult::Failed:
            break;
    }
    return std::nullopt;
}

}  // namespace

WebProtocol::WebProtocol(Text origin, ServiceSettings settings, SessionContext session)
    : origin_(std::move(origin)), settings_(std::move(settings)), session_(session) {}

Text WebProtocol::WallKey() {
    return Text("wall");
}

Text WebProtocol::SiteOrigin(const Text& address) {
    Text origin = UrlOrigin(address);
    const Text host = UrlHost(address);
    if (host == Text("weibo.com") || host == Text("www.weibo.com") || host == Text("m.weibo.cn"))
        return Text("https://weibo.com");
    return origin;
}

Text WebProtocol::XsrfToken() const {
    const Text host = UrlHost(origin_);
    const CookieStore& store =
        session_.cookies != nullptr ? *session_.cookies : CookieStore::Instance();
    for (const Cookie& c : store.List()) {
        if (c.name != "XSRF-TOKEN") continue;
        std::string domain = c.domain;
        if (!domain.empty() && domain[0] == '.') domain.erase(0, 1);
        const std::string& h = host.bytes();
        if (h == domain || (h.size() > domain.size() && h.ends_with("." + domain)))
            return Text(c.value);
    }
    return Text();
}

WebProtocol::CallResult WebProtocol::CallOnce(const Text& url, const Text& referer,
                                              const RunHooks& hooks, JsonValue& answer,
                                              Text& failure, int& status) {
    Text headers = Text(
                       "Accept: application/json, text/plain, */*\r\n"
                       "X-Requested-With: XMLHttpRequest\r\nUser-Agent: ") +
                   Text(kDesktopAgent) + Text("\r\nReferer: ") + origin_ + referer;
    if (const Text token = XsrfToken(); !token.empty())
        headers += Text("\r\nX-XSRF-TOKEN: ") + token;
    Text rawHeaders;
    Bytes body;
    bool refused = false;
    const bool answered = Governed(
        session_.governor, hooks, true,
        [&] {
            failure = Text();
            status = 0;
            rawHeaders = Text();
            body = WebRequest(url, {.extraHeaders = headers,
                                    .returnedHeaders = &rawHeaders,
                                    .noRedirect = true,
                                    .statusCode = &status,
                                    .failure = &failure,
                                    .cookieStore = session_.cookies});
            return Attempt{status, RequestGovernor::RetryAfterSeconds(rawHeaders.view())};
        },
        refused);
    if (refused) return CallResult::Refused;
    if (!answered) return CallResult::Stopped;
    if (StopRequested()) return CallResult::Stopped;
    if (!failure.empty()) return CallResult::Unreachable;
    // A JSON call answered with a redirect: the login is gone.
    if (status >= 300 && status < 400) return CallResult::NotLoggedIn;
    if (status != 200 || !answer.Parse(Utf8PageToText(body))) return CallResult::Failed;
    return CallResult::Answer;
}

WebProtocol::CallResult WebProtocol::Call(const Text& pathAndQuery, const Text& referer,
                                          const RunHooks& hooks, JsonValue& answer, Text& failure) {
    const Text url = origin_ + pathAndQuery;
    int status = 0;
    CallResult r = CallOnce(url, referer, hooks, answer, failure, status);
    if (r != CallResult::Answer || Plain(answer, "ok") != Text("-100")) return r;
    // The site asks for a visit to its front page, which can renew the session's cookies,
    // and a second try; asked again, there is no valid login.
    Text ignored;
    WebRequest(origin_ + Text("/"), {.failure = &ignored, .cookieStore = session_.cookies});
    if (StopRequested()) return CallResult::Stopped;
    r = CallOnce(url, referer, hooks, answer, failure, status);
    if (r == CallResult::Answer && Plain(answer, "ok") == Text("-100"))
        return CallResult::NotLoggedIn;
    return r;
}

ServiceOutcome WebProtocol::ResolveUser(const Text& homePageAddress, const RunHooks& hooks,
                                        ListedUser& user, Text& failure) {
    user = ListedUser{homePageAddress, Text(), Text()};
    // The path alone: no query, no fragment, no trailing slash.
    Text path = UrlPath(homePageAddress);
    for (const char* end : {"?", "#"}) {
        const int at = FindText(path, Text(end));
        if (at != -1) path = LeftText(path, at - 1);
    }
    TextArray segments;
    for (const Text& s : SplitText(path, Text("/"))) {
        if (!s.empty()) segments.push_back(s);
    }
    Text query;
    if (segments.size() >= 2 && (segments[0] == Text("u") || segments[0] == Text("profile")) &&
        IsUserId(segments[1])) {
        query = Text("uid=") + segments[1];
    } else if (segments.size() >= 2 && segments[0] == Text("n")) {
        query = Text("screen_name=") + EncodeQueryValue(DecodePercent(segments[1]));
    } else if (segments.size() == 1 && IsUserId(segments[0])) {
        query = Text("uid=") + segments[0];
    } else if (segments.size() == 1) {
        query = Text("custom=") + EncodeQueryValue(DecodePercent(segments[0]));
    } else {
        return ServiceOutcome::Done;  // no user named
    }
    JsonValue answer;
    if (const auto end =
            EndOf(Call(Text("/ajax/profile/info?") + query, path, hooks, answer, failure)))
        return *end;
    // An answer that is not the profile (Failed leaves it null) names no user.
    const JsonValue person = answer.Member("data").Member("user");
    const Text id = Plain(person, "idstr");
    // The id goes into addresses and file names: digits or nothing.
    if (IsUserId(id)) {
        user.userId = id;
        user.userTitle = person.MemberText("screen_name");
        if (user.userTitle == Text("null")) user.userTitle = Text();
    }
    return ServiceOutcome::Done;
}

ServiceOutcome WebProtocol::ListAlbums(const ListedUser& user, const RunHooks& hooks,
                                       std::vector<AlbumListing>& albums, Text& failure) {
    if (user.userId.empty()) return ServiceOutcome::Done;
    JsonValue answer;
    const CallResult r = Call(Text("/ajax/profile/getImageWall?uid=") +
                                  EncodeQueryValue(user.userId) + Text("&sinceid=0&has_album=true"),
                              Text("/u/") + user.userId, hooks, answer, failure);
    if (const auto end = EndOf(r)) return *end;
    // The photo wall first: every picture of the user's posts, its newest as the cover.
    const Text newest = Plain(answer.Member("data").Member("list").Element(0), "pid");
    albums.push_back({"微博配图"_t,
                      newest.empty() ? Text()
                                     : settings_.imageService + Text("/large/") +
                                           EncodeQueryValue(newest) + Text(".jpg"),
                      Text(), WallKey()});
    const JsonValue list = answer.Member("data").Member("album_list");
    for (int i = 0; i < list.Length(); ++i) {
        const JsonValue album = list.Element(i);
        const Text key = Plain(album, "containerid");
        if (key.empty() || key == WallKey()) continue;
        Text count = Plain(album, "count");
        if (!AllDigits(count.view())) count = Text();
        albums.push_back(
            {album.MemberText("pic_title") == Text("null") ? Text() : album.MemberText("pic_title"),
             Plain(album, "pic"), count, key});
    }
    return ServiceOutcome::Done;
}

std::unique_ptr<PhotoCursor> WebProtocol::OpenAlbum(const ListedUser& user,
                                                    const AlbumListing& album,
                                                    const RunHooks& hooks) {
    return std::make_unique<WebCursor>(*this, settings_, user, album, hooks);
}

Text WebProtocol::AlbumPageAddress(const ListedUser& user) const {
    if (user.userId.empty()) return origin_ + Text("/");
    return origin_ + Text("/u/") + user.userId + Text("?tabtype=album");
}

Text WebProtocol::ImageHeaders() const {
    return Text("Referer: ") + origin_ + Text("/\r\nUser-Agent: ") + Text(kDesktopAgent);
}

}  // namespace ovx
