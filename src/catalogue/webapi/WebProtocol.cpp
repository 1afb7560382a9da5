#include "catalogue/webapi/WebProtocol.h"

#include <mutex>
#include <optional>
#include <utility>

#include "catalogue/ProtocolSupport.h"
#include "catalogue/webapi/WebCursor.h"
#include "catalogue/webapi/WebPosts.h"
#include "runtime/TextOps.h"
#include "web/UrlHelpers.h"

namespace ovx {
namespace {

// A photo count as the service gives it: a number.
constexpr std::size_t kCountDigits = 20;

// The outcome a first call's result ends a resolution or a list with; none when it goes on.
std::optional<ServiceOutcome> EndOf(WebClient::CallResult r) {
    switch (r) {
        case WebClient::CallResult::Answer:
            return std::nullopt;
        case WebClient::CallResult::Declined:
            return ServiceOutcome::Declined;
        case WebClient::CallResult::Failed:
            return ServiceOutcome::Failed;
        case WebClient::CallResult::Unreachable:
            return ServiceOutcome::Unreachable;
        case WebClient::CallResult::NotLoggedIn:
        case WebClient::CallResult::LoginWanted:
            return ServiceOutcome::NotLoggedIn;
        case WebClient::CallResult::Refused:
            return ServiceOutcome::Refused;
        case WebClient::CallResult::Stopped:
            return ServiceOutcome::Stopped;
    }
    return ServiceOutcome::Failed;
}

}  // namespace

WebProtocol::WebProtocol(Text origin, ServiceSettings settings, SessionContext session,
                         RequestRoutine routine)
    : settings_(std::move(settings)), client_(std::move(origin), session, std::move(routine)) {}

WebClient::CallResult WebProtocol::FirstCall(const Text& pathAndQuery, const Text& referer,
                                             bool declinedIsFinal, const RunHooks& hooks,
                                             JsonValue& answer, Text& failure) {
    WebClient::CallResult last = WebClient::CallResult::Failed;
    const PageTry verdict = TryPage(hooks, [&] {
        last = client_.Call(pathAndQuery, referer, hooks, answer, failure);
        // The service's own answer (no such user): asking again changes nothing. An album
        // list it declines may be a passing refusal.
        if (last == WebClient::CallResult::Declined)
            return declinedIsFinal ? PageTry::Accepted : PageTry::Again;
        return WebClient::TryOf(last);
    });
    if (verdict == PageTry::Stopped) return WebClient::CallResult::Stopped;
    // An album list still declined after every try is a failure with the service's message.
    if (last == WebClient::CallResult::Declined && !declinedIsFinal)
        return WebClient::CallResult::Failed;
    return last;
}

WebProtocol::~WebProtocol() = default;

void WebProtocol::BeginRun() {
    std::lock_guard lock(postsMutex_);
    posts_.clear();
}

WebPosts& WebProtocol::PostsOf(const ListedUser& user) {
    std::lock_guard lock(postsMutex_);
    std::unique_ptr<WebPosts>& posts = posts_[user.userId.bytes()];
    if (!posts) posts = std::make_unique<WebPosts>(client_, user);
    return *posts;
}

const RecordLayout& WebProtocol::RecordsLayout() {
    static const RecordLayout layout{"-网页版"_t, Text("pic_id"), 40, false};
    return layout;
}

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

ServiceOutcome WebProtocol::ResolveUser(const Text& homePageAddress, const std::optional<Text>&,
                                        const RunHooks& hooks, ListedUser& user, Text& failure) {
    user = ListedUser{homePageAddress, Text(), Text()};
    // The path alone: no query, no fragment, no trailing slash.
    const Text path = WithoutQueryAndFragment(UrlPath(homePageAddress));
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
    if (const auto end = EndOf(
            FirstCall(Text("/ajax/profile/info?") + query, path, true, hooks, answer, failure)))
        return *end;
    const JsonValue person = answer.Member("data").Member("user");
    const Text id = Plain(person, "idstr");
    // The id goes into addresses and file names: digits or nothing.
    if (!IsUserId(id)) {
        failure = "答复中没有用户编号"_t;
        return ServiceOutcome::Failed;
    }
    user.userId = id;
    user.userTitle = person.MemberString("screen_name");
    return ServiceOutcome::Done;
}

ServiceOutcome WebProtocol::ListAlbums(const ListedUser& user, const RunHooks& hooks,
                                       std::vector<AlbumListing>& albums, Text& failure) {
    if (user.userId.empty()) return ServiceOutcome::Done;
    JsonValue answer;
    const WebClient::CallResult r =
        FirstCall(Text("/ajax/profile/getImageWall?uid=") + EncodeQueryValue(user.userId) +
                      Text("&sinceid=0&has_album=true"),
                  Text("/u/") + user.userId, false, hooks, answer, failure);
    if (const auto end = EndOf(r)) return *end;
    {
        // The wall's first page, read for the list, is the download's first page too.
        std::lock_guard lock(postsMutex_);
        firstWallPages_[user.userId.bytes()] = answer;
    }
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
        if (!IsAsciiDigits(count.view(), kCountDigits)) count = Text();
        albums.push_back({album.MemberString("pic_title"), Plain(album, "pic"), count, key});
    }
    return ServiceOutcome::Done;
}

std::unique_ptr<PhotoCursor> WebProtocol::OpenAlbum(const ListedUser& user,
                                                    const AlbumListing& album,
                                                    const RunHooks& hooks) {
    const bool wall = album.albumKey == WallKey();
    std::optional<JsonValue> firstPage;
    if (wall) {
        // Taken once: a later run reads the wall afresh.
        std::lock_guard lock(postsMutex_);
        if (auto it = firstWallPages_.find(user.userId.bytes()); it != firstWallPages_.end()) {
            firstPage = std::move(it->second);
            firstWallPages_.erase(it);
        }
    }
    return std::make_unique<WebCursor>(client_, PostsOf(user), settings_, user, album, wall, hooks,
                                       std::move(firstPage));
}

Text WebProtocol::AlbumPageAddress(const ListedUser& user) const {
    if (user.userId.empty()) return client_.Origin() + Text("/");
    return client_.Origin() + Text("/u/") + user.userId + Text("?tabtype=album");
}

Text WebProtocol::ImageHeaders() const {
    return Text("Referer: ") + client_.Origin() + Text("/\r\nUser-Agent: ") + Text(kDesktopAgent);
}

}  // namespace ovx
