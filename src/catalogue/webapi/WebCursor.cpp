#include "catalogue/webapi/WebCursor.h"

#include "catalogue/ProtocolSupport.h"
#include "runtime/Convert.h"
#include "runtime/TextOps.h"
#include "web/UrlHelpers.h"

namespace ovx {

WebCursor::WebCursor(WebClient& client, const ServiceSettings& settings, const ListedUser& user,
                     const AlbumListing& album, bool wall, const RunHooks& hooks)
    : client_(client),
      settings_(settings),
      user_(user),
      hooks_(hooks),
      wall_(wall),
      containerId_(album.albumKey),
      posts_(client, user, hooks_) {}

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
    ++page_;
    JsonValue answer;
    Text message;
    const PageTry verdict = TryPage(hooks_, [&] {
        Text failure;
        const WebClient::CallResult r =
            client_.Call(query, Text("/u/") + user_.userId, hooks_, answer, failure);
        switch (r) {
            case WebClient::CallResult::Stopped:
                return PageTry::Stopped;
            case WebClient::CallResult::NotLoggedIn:
                return PageTry::NotLoggedIn;
            case WebClient::CallResult::Refused:
                return PageTry::Refused;
            case WebClient::CallResult::Answer:
                if (Plain(answer, "ok") == Text("1")) return PageTry::Accepted;
                message = Plain(answer, "msg");
                return PageTry::Again;
            default:
                return PageTry::Again;
        }
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
    ReportLostPage(hooks_, page_, message);
    // Without the page there is no cursor to the next one.
    ended_ = true;
    list_ = JsonValue();
    index_ = 0;
    return Step::Photo;
}

void WebCursor::TakePage(const JsonValue& answer) {
    list_ = answer.Member("data").Member("list");
    index_ = 0;
    const Text next = Plain(answer.Member("data"), "since_id");
    if (IsEndCursor(next) || list_.Length() == 0) {
        ended_ = true;
    } else if (!seen_.insert(next.bytes()).second) {
        // The service gave a cursor it gave before: going on would loop.
        hooks_.Log("相册《"_t + hooks_.albumTitle + "》的翻页标记重复，已结束本相册\r\n"_t);
        ended_ = true;
    }
    cursor_ = next;
}

PhotoCursor::Step WebCursor::Expand(const JsonValue& entry) {
    const Text pid = Plain(entry, "pid");
    const Text mid = Plain(entry, "mid");
    // A picture the run passes over anyway needs no post: no request for it.
    if (!pid.empty() && hooks_.passedOver && hooks_.passedOver(pid)) {
        pending_.push_back(Picture(pid, nullptr, Plain(entry, "type"), Plain(entry, "video")));
        return Step::Photo;
    }
    JsonValue post;
    bool hasPost = false;
    if (IsPostId(mid)) {
        const WebPosts::Found found = posts_.Find(mid, post);
        switch (found) {
            case WebPosts::Found::Stopped:
                return Step::Stopped;
            case WebPosts::Found::NotLoggedIn:
                hooks_.Log("未登录或登录已失效，请先在第一步登录\r\n"_t);
                return Step::NotLoggedIn;
            case WebPosts::Found::Refused:
                return Step::Refused;
            case WebPosts::Found::Hidden:
                // Followers only: said once, its pictures passed over (not recorded).
                if (hidden_.insert(mid.bytes()).second) {
                    hooks_.Log("微博 "_t + mid + " 仅粉丝可见，其图片已跳过\r\n"_t);
                }
                ++position_;
                return Step::Photo;
            case WebPosts::Found::Post:
                hasPost = true;
                break;
            case WebPosts::Found::Missing:
                break;
        }
    }
    if (!pid.empty()) {
        pending_.push_back(
            Picture(pid, hasPost ? &post : nullptr, Plain(entry, "type"), Plain(entry, "video")));
    } else if (hasPost) {
        const JsonValue ids = post.Member("pic_ids");
        for (int i = 0; i < ids.Length(); ++i) {
            const Text id = ReplaceText(ids.Element(i).ToText(), Text("\""), Text());
            if (!id.empty()) pending_.push_back(Picture(id, &post, Text(), Text()));
        }
    }
    return Step::Photo;
}

PhotoItem WebCursor::Picture(const Text& pid, const JsonValue* post, const Text& type,
                             const Text& video) {
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
    item.extension = FindText(item.imageAddress, Text(".gif")) > 0 ? Text(".gif") : Text(".jpg");
    const Text kind = type.empty() ? Plain(info, "type") : type;
    if (kind == Text("livephoto")) {
        Text address = Plain(info, "video");
        if (address.empty()) address = video;
        if (!address.empty()) item.videoAddress = address;
    }
    return item;
}

}  // namespace ovx
