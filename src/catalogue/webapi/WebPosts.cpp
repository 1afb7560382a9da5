#include "catalogue/webapi/WebPosts.h"

#include <array>
#include <string_view>

#include "catalogue/ProtocolSupport.h"
#include "runtime/Convert.h"
#include "runtime/DateTime.h"
#include "runtime/TextOps.h"
#include "web/UrlHelpers.h"

namespace ovx {
namespace {

// The service's error codes of a post that only its author's followers may see, and of one
// that was deleted.
constexpr const char* kFollowersOnly = "20112";
constexpr const char* kDeleted = "20101";

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
    if (month == 0 || !IsAsciiDigits(day, 2) || clock.size() != 8 || zone.size() != 5 ||
        (zone[0] != '+' && zone[0] != '-') || !IsAsciiDigits(zone.substr(1), 4) ||
        !IsAsciiDigits(year, 4) || year.size() != 4 || clock[2] != ':' || clock[5] != ':' ||
        !IsAsciiDigits(clock.substr(0, 2), 2) || !IsAsciiDigits(clock.substr(3, 2), 2) ||
        !IsAsciiDigits(clock.substr(6, 2), 2)) {
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

WebPost WebPost::From(const JsonValue& post) {
    WebPost p;
    p.caption = post.MemberString("text_raw");
    p.seconds = WebPostSeconds(Plain(post, "created_at"));
    // Pinned: isTop in any of its spellings, or the pinned post type.
    p.pinned = IsTrue(post, "isTop") || Plain(post, "mblogtype") == Text("2");
    const JsonValue ids = post.Member("pic_ids");
    const JsonValue infos = post.Member("pic_infos");
    for (int i = 0; i < ids.Length(); ++i) {
        const Text id = ReplaceText(ids.Element(i).ToText(), Text("\""), Text());
        if (id.empty() || id == Text("null")) continue;
        p.pictureIds.push_back(id);
        const JsonValue info = infos.Member(id);
        Picture picture{Plain(info.Member("largest"), "url"), Plain(info, "type"),
                        Plain(info, "video")};
        p.pictures.emplace(id.bytes(), std::move(picture));
    }
    return p;
}

const WebPost::Picture* WebPost::PictureOf(const Text& pid) const {
    const auto it = pictures.find(pid.bytes());
    return it == pictures.end() ? nullptr : &it->second;
}

WebPosts::WebPosts(WebClient& client, const ListedUser& user) : client_(client), user_(user) {}

bool WebPosts::KnownPinned(const Text& mid) const {
    const auto it = posts_.find(mid.bytes());
    return it != posts_.end() && it->second.pinned;
}

bool WebPosts::IsTheUsers(const JsonValue& post) const {
    // A post the account liked is shown in its timeline with this title.
    if (FindText(post.Member("title").MemberString("text"), "赞过"_t) > 0) return false;
    const JsonValue author = post.Member("user");
    Text id = Plain(author, "idstr");
    if (id.empty()) id = Plain(author, "id");
    return id.empty() || id == user_.userId;
}

WebPosts::Found WebPosts::Find(const Text& mid, const RunHooks& hooks, const WebPost*& post) {
    for (;;) {
        if (auto it = posts_.find(mid.bytes()); it != posts_.end()) {
            post = &it->second;
            return Found::Post;
        }
        // A visitor does not read the timeline: the site shows it to logged-in readers only.
        if (client_.IsVisitor()) timelineEnded_ = true;
        // Newest first: once a post older than the wanted one was read, it is not coming.
        if (timelineEnded_ || (!oldestRead_.empty() && CompareIds(oldestRead_, mid) < 0)) break;
        const Found read = ReadTimelinePage(hooks);
        if (read == Found::Stopped || read == Found::NotLoggedIn || read == Found::Refused)
            return read;
    }
    return Show(mid, hooks, post);
}

WebPosts::Found WebPosts::ReadTimelinePage(const RunHooks& hooks) {
    ++page_;
    Text query = Text("/ajax/statuses/mymblog?uid=") + EncodeQueryValue(user_.userId) +
                 Text("&page=") + ToText(page_) + Text("&feature=0");
    if (!sinceId_.empty()) query += Text("&since_id=") + EncodeQueryValue(sinceId_);
    JsonValue answer;
    bool refusedToVisitors = false;
    const PageTry verdict = TryPage(hooks, [&] {
        Text failure;
        const WebClient::CallResult r = client_.Call(query, Referer(), hooks, answer, failure);
        switch (r) {
            case WebClient::CallResult::LoginWanted:
                // The timeline is a logged-in reader's: without it, posts come one by one.
                refusedToVisitors = true;
                return PageTry::Accepted;
            case WebClient::CallResult::Failed:
                if (failure.view().starts_with("HTTP 403")) {
                    refusedToVisitors = true;
                    return PageTry::Accepted;
                }
                return PageTry::Again;
            default:
                return WebClient::TryOf(r);
        }
    });
    switch (verdict) {
        case PageTry::Stopped:
            return Found::Stopped;
        case PageTry::NotLoggedIn:
            return Found::NotLoggedIn;
        case PageTry::Refused:
            return Found::Refused;
        case PageTry::Again:
            // The timeline stays unreadable: the posts it would have given are asked for
            // one by one.
            timelineEnded_ = true;
            return Found::Failed;
        case PageTry::Accepted:
            break;
    }
    if (refusedToVisitors) {
        hooks.Log("时间线需要登录才能读取，改为逐条读取微博\r\n"_t);
        timelineEnded_ = true;
        return Found::Failed;
    }
    TakeTimelinePage(answer);
    return Found::Post;
}

void WebPosts::TakeTimelinePage(const JsonValue& answer) {
    const JsonValue list = answer.Member("data").Member("list");
    const Text next = Plain(answer.Member("data"), "since_id");
    if (!next.empty()) sinceId_ = next;
    bool anyNew = false;
    for (int i = 0; i < list.Length(); ++i) {
        const JsonValue item = list.Element(i);
        Text id = Plain(item, "mid");
        if (id.empty()) id = Plain(item, "idstr");
        // Liked posts and other authors' posts are never matched and never end anything.
        if (!IsPostId(id) || !IsTheUsers(item)) continue;
        WebPost post = WebPost::From(item);
        const bool pinned = post.pinned;
        anyNew |= posts_.emplace(id.bytes(), std::move(post)).second;
        // A pinned post sits on top whatever its age: it neither ends nor orders anything.
        if (pinned) continue;
        if (oldestRead_.empty() || CompareIds(id, oldestRead_) < 0) oldestRead_ = id;
    }
    // An empty page, or one that brings no post not read before, ends the timeline.
    if (list.Length() == 0 || !anyNew) timelineEnded_ = true;
}

WebPosts::Found WebPosts::Show(const Text& mid, const RunHooks& hooks, const WebPost*& post) {
    // A post asked for once in the run is not asked for again, whatever the answer was.
    if (auto it = unavailable_.find(mid.bytes()); it != unavailable_.end()) return it->second;
    const Found found = AskForPost(mid, hooks);
    if (found == Found::Post) {
        post = &posts_.at(mid.bytes());
    } else if (found == Found::Gone || found == Found::Hidden || found == Found::Failed) {
        unavailable_[mid.bytes()] = found;
    }
    return found;
}

WebPosts::Found WebPosts::AskForPost(const Text& mid, const RunHooks& hooks) {
    JsonValue answer;
    Found declined = Found::Failed;
    const PageTry verdict = TryPage(hooks, [&] {
        Text failure;
        const WebClient::CallResult r =
            client_.Call(Text("/ajax/statuses/show?id=") + EncodeQueryValue(mid), Referer(), hooks,
                         answer, failure);
        switch (r) {
            case WebClient::CallResult::Answer: {
                // The service has been seen answering another post than the one asked for.
                Text id = Plain(answer, "mid");
                if (id.empty()) id = Plain(answer, "idstr");
                return id == mid ? PageTry::Accepted : PageTry::Again;
            }
            case WebClient::CallResult::Declined: {
                Text code = Plain(answer, "error_code");
                if (code.empty()) code = Plain(answer, "errno");
                if (code == Text(kFollowersOnly)) declined = Found::Hidden;
                if (code == Text(kDeleted)) declined = Found::Gone;
                return declined == Found::Failed ? PageTry::Again : PageTry::Accepted;
            }
            default:
                return WebClient::TryOf(r);
        }
    });
    switch (verdict) {
        case PageTry::Accepted:
            if (declined != Found::Failed) return declined;
            posts_.emplace(mid.bytes(), WebPost::From(answer));
            return Found::Post;
        case PageTry::Stopped:
            return Found::Stopped;
        case PageTry::NotLoggedIn:
            return Found::NotLoggedIn;
        case PageTry::Refused:
            return Found::Refused;
        case PageTry::Again:
            break;
    }
    return Found::Failed;
}

}  // namespace ovx
