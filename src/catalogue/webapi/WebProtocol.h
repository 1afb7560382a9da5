#pragma once
// The site's web API: the user from /ajax/profile/info, the photo wall and the special albums
// as album rows, and each album's pictures through cursors (WebCursor), with the posts the
// pictures belong to (WebPosts). Every JSON call goes through the WebClient.

#include <memory>

#include "catalogue/Protocol.h"
#include "catalogue/webapi/WebClient.h"

namespace ovx {

class WebProtocol : public Protocol {
  public:
    // `origin` is the scheme and host of the site ("https://weibo.com").
    WebProtocol(Text origin, ServiceSettings settings, SessionContext session);

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

    // <user id>-网页版.zdb, one field "pic_id" of 40 bytes; longer ids are not recorded.
    static const RecordLayout& RecordsLayout();

    // The site's origin for an address: "www.weibo.com" and "m.weibo.cn" read as
    // "https://weibo.com", a weibo.com address is always https; any other origin as it is.
    static Text SiteOrigin(const Text& address);

    // The album key of the photo wall's row.
    static Text WallKey();

  private:
    ServiceSettings settings_;
    WebClient client_;
};

}  // namespace ovx
