#pragma once
// One album of the web API (the photo wall or a special album), paged by its cursor; each
// entry becomes the pictures it stands for, with the caption, time and address of its post.
//
// The cursor ends the album when the service's cursor ends, repeats one it gave before, or
// three pages in a row bring nothing not seen before; a page that stays unreadable ends it
// too (there is no cursor past it), counted as lost. A picture is given at most once.

#include <set>
#include <string>
#include <vector>

#include "catalogue/JsonValue.h"
#include "catalogue/Protocol.h"
#include "catalogue/webapi/WebClient.h"
#include "catalogue/webapi/WebPosts.h"

namespace ovx {

class WebCursor : public PhotoCursor {
  public:
    // `wall`: the photo wall; else the special album whose container id is the album key.
    // `posts` is the run's posts of the user, shared with the user's other albums.
    WebCursor(WebClient& client, WebPosts& posts, const ServiceSettings& settings,
              const ListedUser& user, const AlbumListing& album, bool wall, const RunHooks& hooks);

    Step Next(PhotoItem& item) override;

  private:
    Step FetchPage();
    // A page that was read: its list, and where the next one starts.
    void TakePage(const JsonValue& answer);
    // One listed entry: a picture (with or without its post), or a post standing for its
    // pictures.
    Step Expand(const JsonValue& entry);
    // Queues a picture, unless the album gave it already.
    void Give(const Text& pid, const WebPost* post, const Text& type, const Text& video,
              bool unreadable);
    void EndAlbum(const char* why);

    WebClient& client_;
    WebPosts& posts_;
    const ServiceSettings& settings_;
    ListedUser user_;
    RunHooks hooks_;
    bool wall_;
    Text containerId_;
    JsonValue list_;
    int index_ = 0;
    int page_ = 0;
    int position_ = 0;
    int barrenPages_ = 0;  // pages in a row that brought nothing new
    Text cursor_;
    std::set<std::string> cursors_;  // every cursor asked with or given
    std::set<std::string> entries_;  // every entry seen (picture id, or post id)
    std::set<std::string> given_;    // every picture given
    std::set<std::string> hidden_;
    bool ended_ = false;
    std::vector<PhotoItem> pending_;
};

}  // namespace ovx
