#pragma once
// The posts the pictures of a user's albums belong to (captions, upload times, image
// addresses), for one run: read lazily from the user's timeline, newest first, as far as a
// wanted post needs; a post the timeline does not give is asked for on its own. Only what the
// pictures use is kept, and every album of the user in the run shares it.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalogue/JsonValue.h"
#include "catalogue/Protocol.h"
#include "catalogue/webapi/WebClient.h"

namespace ovx {

// The upload time of a post ("Tue Dec 08 10:00:00 +0800 2026") in seconds since 1970 UTC;
// none when the text is not such a time.
std::optional<std::int64_t> WebPostSeconds(const Text& createdAt);

// What the pictures need of a post.
struct WebPost {
    struct Picture {
        Text address;  // the largest size the post names; empty: none named
        Text type;     // "pic", "livephoto", "gif", ...
        Text video;    // a live photo's (or a GIF's) video address
    };
    Text caption;  // the post's plain text
    std::optional<std::int64_t> seconds;
    std::vector<Text> pictureIds;  // in the post's order
    std::map<std::string, Picture> pictures;
    bool pinned = false;

    // The post object of an answer (the timeline's or statuses/show's).
    static WebPost From(const JsonValue& post);
    const Picture* PictureOf(const Text& pid) const;
};

class WebPosts {
  public:
    WebPosts(WebClient& client, const ListedUser& user);

    enum class Found {
        Post,
        Gone,    // the service says the post is deleted (20101)
        Hidden,  // followers only (20112)
        Failed,  // its calls failed: asked again by the next run, not again in this one
        Stopped,
        NotLoggedIn,
        Refused,
    };

    // The post `mid`, from the timeline read so far, further timeline pages, or on its own.
    // `post` is valid until the next call.
    Found Find(const Text& mid, const RunHooks& hooks, const WebPost*& post);

    // True when the run has read the post `mid` and it is pinned.
    bool KnownPinned(const Text& mid) const;

  private:
    Found ReadTimelinePage(const RunHooks& hooks);
    Found Show(const Text& mid, const RunHooks& hooks, const WebPost*& post);
    Found AskForPost(const Text& mid, const RunHooks& hooks);
    // One of the user's own posts (not one the account liked, not another author's).
    bool IsTheUsers(const JsonValue& post) const;
    Text Referer() const { return Text("/u/") + user_.userId; }

    WebClient& client_;
    ListedUser user_;
    std::map<std::string, WebPost> posts_;
    std::map<std::string, Found> unavailable_;  // gone, hidden or failed
    Text sinceId_;
    Text oldestRead_;
    int page_ = 0;
    bool timelineEnded_ = false;
};

}  // namespace ovx
