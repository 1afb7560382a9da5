#pragma once
// The album service: the user from the home page's markers, the album list in one answer,
// and each album's photos on numbered pages of 100.

#include "catalogue/Protocol.h"

namespace ovx {

class AlbumServiceProtocol : public Protocol {
  public:
    AlbumServiceProtocol(ServiceSettings settings, SessionContext session);

    ServiceOutcome ResolveUser(const Text& homePageAddress, const std::optional<Text>& page,
                               const RunHooks& hooks, ListedUser& user, Text& failure) override;
    ServiceOutcome ListAlbums(const ListedUser& user, const RunHooks& hooks,
                              std::vector<AlbumListing>& albums, Text& failure) override;
    std::unique_ptr<PhotoCursor> OpenAlbum(const ListedUser& user, const AlbumListing& album,
                                           const RunHooks& hooks) override;
    Text AlbumPageAddress(const ListedUser& user) const override;
    Text ImageHeaders() const override;
    const RecordLayout& Records() const override { return RecordsLayout(); }

    // <user id>.zdb, one field "photo_id" of 20 bytes; longer ids are cut to it.
    static const RecordLayout& RecordsLayout();
    // True when the page carries a marker with a user id.
    static bool HasMarkers(const Text& page);

    // The upload time of a photo in whole seconds, from its timestamp text: a value over
    // 9999999999 is taken as milliseconds.
    static std::int64_t UploadSeconds(const Text& timestamp);

  private:
    ServiceSettings settings_;
    SessionContext session_;
};

}  // namespace ovx
