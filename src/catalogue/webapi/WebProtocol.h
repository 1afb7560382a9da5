#pragma once
// The site's web API: the user from /ajax/profile/info, the photo wall and the special albums
// as album rows, and each album's pictures through cursors (WebCursor), with the posts the
// pictures belong to (WebPosts). Every JSON call goes through the WebClient.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "catalogue/Protocol.h"
#include "catalogue/webapi/WebClient.h"

namespace ovx {
class WebPosts;
}

namespace ovx {

class WebProtocol : public Protocol {
  public:
    // `origin` is the scheme and host of the site ("https://weibo.com"). `routine` makes the
    // requests (empty: WebRequest); tests give a stand-in for the site.
    WebProtocol(Text origin, ServiceSettings settings, SessionContext session,
                RequestRoutine routine = {});
    ~WebProtocol() override;

    // Resolves the user a home-page address names (/u/UID, /UID, /n/NAME, /CUSTOM); the
    // fetched home page, if any, is not needed.
    ServiceOutcome ResolveUser(const Text& homePageAddress, const std::optional<Text>& page,
                               const RunHooks& hooks, ListedUser& user, Text& failure) override;
    ServiceOutcome ListAlbums(const ListedUser& user, const RunHooks& hooks,
                              std::vector<AlbumListing>& albums, Text& failure) override;
    std::unique_ptr<PhotoCursor> OpenAlbum(const ListedUser& user, const AlbumListing& album,
                                           const RunHooks& hooks) override;
    Text AlbumPageAddress(const ListedUser& user) const override;
    Text ImageHeaders() const override;
    const RecordLayout& Records() const override { return RecordsLayout(); }
    // A run starts: the posts read by an earlier run are forgotten (a post whose calls failed
    // is asked for again).
    void BeginRun() override;

    // <user id>-网页版.zdb, one field "pic_id" of 40 bytes; longer ids are not recorded.
    static const RecordLayout& RecordsLayout();

    // The site's origin for an address: "www.weibo.com" and "m.weibo.cn" read as
    // "https://weibo.com", a weibo.com address is always https; any other origin as it is.
    static Text SiteOrigin(const Text& address);

    // The album key of the photo wall's row.
    static Text WallKey();

  private:
    // A first call (the profile, the album list), tried like a page. An `ok:0` answer is the
    // service's final word when `declinedIsFinal`, else tried again and then a failure.
    WebClient::CallResult FirstCall(const Text& pathAndQuery, const Text& referer,
                                    bool declinedIsFinal, const RunHooks& hooks, JsonValue& answer,
                                    Text& failure);
    // The run's posts of the user, shared by the user's albums.
    WebPosts& PostsOf(const ListedUser& user);

    ServiceSettings settings_;
    WebClient client_;
    std::mutex postsMutex_;
    std::map<std::string, std::unique_ptr<WebPosts>> posts_;  // by user id
};

}  // namespace ovx
