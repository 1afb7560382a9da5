#pragma once
// The site's web API: the user from /ajax/profile/info, the photo wall and the special albums
// as album rows, and each album's pictures through cursors, with the posts the pictures
// belong to read lazily from the user's timeline (captions, upload times, image addresses).
//
// Every JSON call goes to the origin of the home-page address with the headers a browser's
// own calls carry (X-XSRF-TOKEN once the site has set its cookie), paced and backed off by
// the session's request governor.

#include <cstdint>
#include <memory>
#include <optional>

#include "catalogue/JsonValue.h"
#include "catalogue/Protocol.h"
#include "web/RequestGovernor.h"

namespace ovx {

// The upload time of a post ("Tue Dec 08 10:00:00 +0800 2026") in seconds since 1970 UTC;
// none when the text is not such a time.
std::optional<std::int64_t> WebPostSeconds(const Text& createdAt);

class WebProtocol : public Protocol {
  public:
    // `origin` is the scheme and host of the site ("https://weibo.com").
    WebProtocol(Text origin, ServiceSettings settings, SessionContext session);

    ProtocolKind Kind() const override { return ProtocolKind::Web; }
    ServiceOutcome ListAlbums(const ListedUser& user, const RunHooks& hooks,
                              std::vector<AlbumListing>& albums, Text& failure) override;
    std::unique_ptr<PhotoCursor> OpenAlbum(const ListedUser& user, const AlbumListing& album,
                                           const RunHooks& hooks) override;
    Text AlbumPageAddress(const ListedUser& user) const override;
    Text ImageHeaders() const override;

    // Resolves the user a home-page address names (/u/UID, /UID, /n/NAME, /CUSTOM).
    ServiceOutcome ResolveUser(const Text& homePageAddress, const RunHooks& hooks, ListedUser& user,
                               Text& failure);

    // The site's origin for an address: "www.weibo.com" and "m.weibo.cn" read as
    // "https://weibo.com", a weibo.com address is always https; any other origin as it is.
    static Text SiteOrigin(const Text& address);

    // The album key of the photo wall's row.
    static Text WallKey();

    // One JSON call: its answer, or why there is none.
    enum class CallResult { Answer, Unreachable, NotLoggedIn, Refused, Stopped, Failed };
    CallResult Call(const Text& pathAndQuery, const Text& referer, const RunHooks& hooks,
                    JsonValue& answer, Text& failure);

  private:
    CallResult CallOnce(const Text& url, const Text& referer, const RunHooks& hooks,
                        JsonValue& answer, Text& failure, int& status);
    Text XsrfToken() const;

    Text origin_;
    ServiceSettings settings_;
    SessionContext session_;
};

}  // namespace ovx
