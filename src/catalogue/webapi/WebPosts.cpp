#include "catalogue/webapi/WebPosts.h"

#include <array>
#include <string_view>

#include "runtime/Convert.h"
#include "runtime/DateTime.h"
#include "runtime/TextOps.h"
#include "web/UrlHelpers.h"

namespace ovx {
namespace {

// The service's error code of a post that only its author's followers may see.
constexpr int kFollowersOnly = 20112;

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

WebPosts::WebPosts(WebClient& client, const ListedUser& user, const RunHooks& hooks)
    : client_(client), user_(user), hooks_(hooks) {}

WebPosts::Found WebPosts::Find(const Text& mid, JsonValue& post) {
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

WebPosts::Found WebPosts::ReadTimelinePage() {
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
        if (!IsPostId(id)) continue;
        posts_.emplace(id.bytes(), post);
        // A pinned post sits on top whatever its age: it neither ends nor orders anything.
        if (Plain(post, "isTop") == Text("1")) continue;
        if (oldestRead_.empty() || CompareIds(id, oldestRead_) < 0) oldestRead_ = id;
    }
    return n == 0 ? Found::Missing : Found::Post;
}

WebPosts::Found WebPosts::Show(const Text& mid, JsonValue& post) {
    // A post asked for once is not asked for again, whatever the answer was.
    if (auto it = unavailable_.find(mid.bytes()); it != unavailable_.end()) return it->second;
    const Found found = AskForPost(mid, post);
    if (found == Found::Hidden || found == Found::Missing) unavailable_[mid.bytes()] = found;
    return found;
}

WebPosts::Found WebPosts::AskForPost(const Text& mid, JsonValue& post) {
    JsonValue answer;
    Text failure;
    const WebClient::CallResult r =
        client_.Call(Text("/ajax/statuses/show?id=") + EncodeQueryValue(mid), Referer(), hooks_,
                     answer, failure);
    if (r == WebClient::CallResult::Stopped) return Found::Stopped;
    if (r == WebClient::CallResult::NotLoggedIn) return Found::NotLoggedIn;
    if (r == WebClient::CallResult::Refused) return Found::Refused;
    if (r != WebClient::CallResult::Answer) return Found::Missing;
    if (Plain(answer, "ok") == Text("1")) {
        posts_.emplace(mid.bytes(), answer);
        post = answer;
        return Found::Post;
    }
    if (ToInt(Plain(answer, "error_code")) == kFollowersOnly) return Found::Hidden;
    return Found::Missing;
}

WebPosts::Found WebPosts::CallPage(const Text& query, JsonValue& answer) {
    Text failure;
    switch (client_.Call(query, Referer(), hooks_, answer, failure)) {
        case WebClient::CallResult::Answer:
            return Plain(answer, "ok") == Text("1") ? Found::Post : Found::Missing;
        case WebClient::CallResult::Stopped:
            return Found::Stopped;
        case WebClient::CallResult::NotLoggedIn:
            return Found::NotLoggedIn;
        case WebClient::CallResult::Refused:
            return Found::Refused;
        default:
            return Found::Missing;
    }
}

}  // namespace ovx
