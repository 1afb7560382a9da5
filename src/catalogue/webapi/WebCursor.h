#pragma once
// One album of the web API (the photo wall or a special album), paged by its cursor; each
// entry becomes the pictures it stands for, with the caption, time and address of its post.

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
    WebCursor(WebClient& client, const ServiceSettings& settings, const ListedUser& user,
              const AlbumListing& album, bool wall, const RunHooks& hooks);

    Step Next(PhotoItem& item) override;

  private:
    Step FetchPage();
    // A page that was read: its list, and where the next one starts.
    void TakePage(const JsonValue& answer);
    // One listed entry: a picture (with or without its post), or a post standing for its
    // pictures.
    Step Expand(const JsonValue& entry);
    PhotoItem Picture(const Text& pid, const JsonValue* post, const Text& type, const Text& video);

    WebClient& client_;
    const ServiceSettings& settings_;
    ListedUser user_;
    RunHooks hooks_;
    bool wall_;
    Text containerId_;
    WebPosts posts_;
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

}  // namespace ovx
