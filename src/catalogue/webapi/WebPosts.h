#pragma once
// The posts the pictures of an album belong to (captions, upload times, image addresses):
// read lazily from the user's timeline, newest first, as far as a wanted post needs; a post
// the timeline does not give is asked for on its own.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "catalogue/JsonValue.h"
#include "catalogue/Protocol.h"
#include "catalogue/webapi/WebClient.h"

namespace ovx {

// The upload time of a post ("Tue Dec 08 10:00:00 +0800 2026") in seconds since 1970 UTC;
// none when the text is not such a time.
std::optional<std::int64_t> WebPostSeconds(const Text& createdAt);

class WebPosts {
  public:
    WebPosts(WebClient& client, const ListedUser& user, const RunHooks& hooks);

    enum class Found { Post, Missing, Hidden, Stopped, NotLoggedIn, Refused };

    // The post `mid`, from the timeline read so far, further timeline pages, or on its own.
    Found Find(const Text& mid, JsonValue& post);

  private:
    Found ReadTimelinePage();
    Found Show(const Text& mid, JsonValue& post);
    Found AskForPost(const Text& mid, JsonValue& post);
    Found CallPage(const Text& query, JsonValue& answer);
    Text Referer() const { return Text("/u/") + user_.userId; }

    WebClient& client_;
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

}  // namespace ovx
