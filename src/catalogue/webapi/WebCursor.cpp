#include "catalogue/webapi/WebCursor.h"

#include "catalogue/ProtocolSupport.h"
#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/TextOps.h"
#include "web/UrlHelpers.h"

namespace ovx {
namespace {

// Pages in a row without anything new after which an album counts as ended.
constexpr int kBarrenPages = 3;

// The extension an address's last path segment names (its query ignored); ".jpg" else.
Text ExtensionOfAddress(const Text& address) {
    const Text path = ToLowerCase(WithoutQueryAndFragment(address));
    const std::string_view v = path.view();
    const std::string_view name =
        v.substr(v.rfind('/') == std::string_view::npos ? 0 : v.rfind('/') + 1);
    for (const char* ext : {".gif", ".png", ".webp", ".jpeg"}) {
        if (name.ends_with(ext)) return Text(ext == std::string_view(".jpeg") ? ".jpg" : ext);
    }
    return Text(".jpg");
}

}  // namespace

WebCursor::WebCursor(WebClient& client, WebPosts& posts, const ServiceSettings& settings,
                     const ListedUser& user, const AlbumListing& album, bool wall,
                     const RunHooks& hooks, std::optional<JsonValue> firstPage)
    : client_(client),
      posts_(posts),
      settings_(settings),
      user_(user),
      hooks_(hooks),
      wall_(wall),
      containerId_(album.albumKey),
      firstPage_(std::move(firstPage)) {}

PhotoCursor::Step WebCursor::Next(PhotoItem& item) {
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

PhotoCursor::Step WebCursor::FetchPage() {
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
    cursors_.insert(cursor_.bytes());
    ++page_;
    if (page_ == 1 && firstPage_) {
        TakePage(*firstPage_);
        firstPage_.reset();
        return Step::Photo;
    }
    JsonValue answer;
    Text message;
    const PageTry verdict = TryPage(hooks_, [&] {
        return WebClient::TryOf(
            client_.Call(query, Text("/u/") + user_.userId, hooks_, answer, message));
    });
    switch (verdict) {
        case PageTry::Accepted:
            TakePage(answer);
            return Step::Photo;
        case PageTry::Stopped:
            return Step::Stopped;
        case PageTry::NotLoggedIn:
            hooks_.Log("未登录或登录已失效，请先在第一步登录\r\n"_t);
            return Step::NotLoggedIn;
        case PageTry::Refused:
            return Step::Refused;
        case PageTry::Again:
            break;
    }
    // Without the page there is no cursor to the next one: the rest of the album is lost.
    ReportLostPage(hooks_, page_, message, true);
    ended_ = true;
    list_ = JsonValue();
    index_ = 0;
    return Step::Photo;
}

void WebCursor::TakePage(const JsonValue& answer) {
    list_ = answer.Member("data").Member("list");
    index_ = 0;
    bool anyNew = false;
    for (int i = 0; i < list_.Length(); ++i) {
        const JsonValue entry = list_.Element(i);
        const Text pid = Plain(entry, "pid");
        anyNew |= entries_.insert(pid.empty() ? "post " + Plain(entry, "mid").bytes() : pid.bytes())
                      .second;
    }
    const Text next = Plain(answer.Member("data"), "since_id");
    if (IsEndCursor(next) || list_.Length() == 0) {
        ended_ = true;
    } else if (!cursors_.insert(next.bytes()).second) {
        // A cursor given or asked with before: going on would loop.
        EndAlbum("的翻页标记重复，已结束本相册");
    } else if (anyNew) {
        barrenPages_ = 0;
    } else if (++barrenPages_ >= kBarrenPages) {
        EndAlbum("连续多页没有新的照片，已结束本相册");
    }
    cursor_ = next;
}

void WebCursor::EndAlbum(const char* why) {
    hooks_.Log("相册《"_t + hooks_.albumTitle + "》"_t + Utf8ToLocal(why) + "\r\n"_t);
    ended_ = true;
}

PhotoCursor::Step WebCursor::Expand(const JsonValue& entry) {
    const Text pid = Plain(entry, "pid");
    const Text mid = Plain(entry, "mid");
    const Text type = Plain(entry, "type");
    const Text video = Plain(entry, "video");
    // A picture the run passes over anyway needs no post: no request for it. (A live photo's
    // video that is still missing is named after its post's caption and time.)
    if (!pid.empty() && hooks_.passedOver && hooks_.passedOver(pid, type == Text("livephoto"))) {
        Give(pid, nullptr, type, video, false);
        // Pinned, as far as the timeline read in this run tells.
        if (!pending_.empty() && pending_.back().photoId == pid)
            pending_.back().pinned = IsPostId(mid) && posts_.KnownPinned(mid);
        return Step::Photo;
    }
    const WebPost* post = nullptr;
    bool unreadable = false;
    if (IsPostId(mid)) {
        switch (posts_.Find(mid, hooks_, post)) {
            case WebPosts::Found::Stopped:
                return Step::Stopped;
            case WebPosts::Found::NotLoggedIn:
                hooks_.Log("未登录或登录已失效，请先在第一步登录\r\n"_t);
                return Step::NotLoggedIn;
            case WebPosts::Found::Refused:
                return Step::Refused;
            case WebPosts::Found::Hidden:
                // Followers only: said once, its pictures passed over (not recorded).
                if (hidden_.insert(mid.bytes()).second)
                    hooks_.Log("微博 "_t + mid + " 仅粉丝可见，其图片已跳过\r\n"_t);
                ++position_;
                return Step::Photo;
            case WebPosts::Found::Failed:
                // Its calls failed: the pictures are left for the next run, never saved
                // without their caption and time.
                unreadable = true;
                break;
            case WebPosts::Found::Gone:
            case WebPosts::Found::Post:
                break;
        }
    }
    if (!pid.empty()) {
        Give(pid, post, type, video, unreadable);
    } else if (post != nullptr) {
        for (const Text& id : post->pictureIds) Give(id, post, Text(), Text(), false);
    } else if (unreadable) {
        // Which pictures the post holds is not known: it stands for them.
        Give(mid, nullptr, Text(), Text(), true);
    }
    return Step::Photo;
}

void WebCursor::Give(const Text& pid, const WebPost* post, const Text& type, const Text& video,
                     bool unreadable) {
    if (!given_.insert(pid.bytes()).second) return;
    PhotoItem item;
    item.photoId = pid;
    item.position = ++position_;
    item.unreadable = unreadable;
    const WebPost::Picture* picture = post != nullptr ? post->PictureOf(pid) : nullptr;
    if (post != nullptr) {
        item.caption = post->caption;
        item.uploadSeconds = post->seconds;
        item.pinned = post->pinned;
    }
    if (picture != nullptr) item.imageAddress = picture->address;
    if (item.imageAddress.empty()) {
        item.imageAddress =
            settings_.imageService + Text("/large/") + EncodeQueryValue(pid) + Text(".jpg");
    }
    item.extensionFromContent = true;
    item.extension = ExtensionOfAddress(item.imageAddress);
    const Text kind = !type.empty() ? type : (picture != nullptr ? picture->type : Text());
    if (kind == Text("livephoto")) {
        Text address = picture != nullptr ? picture->video : Text();
        if (address.empty()) address = video;
        if (!address.empty()) item.videoAddress = address;
    }
    pending_.push_back(std::move(item));
}

}  // namespace ovx
