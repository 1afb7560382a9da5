#include "catalogue/albumservice/AlbumServiceProtocol.h"

#include <algorithm>

#include "catalogue/JsonValue.h"
#include "catalogue/ProtocolSupport.h"
#include "catalogue/albumservice/AlbumServiceApi.h"
#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/ScriptHelpers.h"
#include "web/UrlHelpers.h"
#include "web/WebRequest.h"

namespace ovx {
namespace {

constexpr std::int64_t kMillisecondThreshold = 9999999999LL;

// The album key: the album id and its type, which the photo-list query needs back.
Text AlbumKey(const AlbumEntry& album) {
    return album.albumId + Text("@@") + album.type;
}

class AlbumServiceCursor : public PhotoCursor {
  public:
    AlbumServiceCursor(const ServiceSettings& settings, SessionContext session,
                       const ListedUser& user, const AlbumListing& album, const RunHooks& hooks)
        : settings_(settings), session_(session), user_(user), hooks_(hooks) {
        albumId_ = album.albumKey;
        if (TextArray key = SplitText(album.albumKey, Text("@@")); key.size() == 2) {
            albumId_ = key[0];
            type_ = key[1];
        }
        // A count of 10^9 is bounded by the first empty page; a page repeated forever by
        // this.
        pages_ = std::max(ToInt(album.count) / kPhotosPerPage + 1, 1);
    }

    Step Next(PhotoItem& item) override {
        while (index_ >= onPage_) {
            if (ended_ || page_ >= pages_) return Step::End;
            ++page_;
            index_ = 0;
            onPage_ = 0;
            const Step fetched = FetchPage();
            if (fetched != Step::Photo) return fetched;
        }
        ++index_;
        const PhotoEntry entry = ReadPhotoEntry(list_.Element(index_ - 1));
        item = PhotoItem();
        item.photoId = entry.photoId;
        item.uploadSeconds = AlbumServiceProtocol::UploadSeconds(entry.timestamp);
        item.caption = entry.caption;
        item.imageAddress = ImageUrl(entry);
        item.extension = ImageExtension(entry);
        item.position = (page_ - 1) * kPhotosPerPage + index_;
        item.progress = item.position * 100.0 / onPage_ / pages_;
        return Step::Photo;
    }

  private:
    // Asks for the next page until it is a photo-list answer, at most kPageTries times; a
    // page that stays unreadable is logged and passed over.
    Step FetchPage() {
        const Text url = PhotoListUrl(settings_.photoService, user_.userId, albumId_, page_, type_,
                                      RandomFraction17());
        const PageTry verdict = TryPage(hooks_, [&] {
            // A throttling answer is waited out and asked again; it uses up no try.
            const GovernedAnswer answer = GovernedPage(session_, hooks_, false, url);
            if (answer.outcome == GovernedOutcome::GaveUp) return PageTry::Refused;
            if (answer.outcome == GovernedOutcome::Stopped || StopRequested())
                return PageTry::Stopped;
            const Text text = Utf8PageToText(answer.body);
            // An error page or a throttling answer is retried like an empty one.
            if (text.empty() || !answer_.Parse(text) || !IsPhotoListAnswer(answer_))
                return PageTry::Again;
            list_ = PhotoListOf(answer_);
            onPage_ = list_.Length();
            // An empty list: the album has no more photos, whatever its count said.
            if (onPage_ == 0) ended_ = true;
            return PageTry::Accepted;
        });
        switch (verdict) {
            case PageTry::Accepted:
                return ended_ ? Step::End : Step::Photo;
            case PageTry::Stopped:
                return Step::Stopped;
            case PageTry::Refused:
                return Step::Refused;
            case PageTry::NotLoggedIn:
                return Step::NotLoggedIn;
            case PageTry::Again:
                break;
        }
        ReportLostPage(hooks_, page_, Text(), false);
        return Step::Photo;  // onPage_ is 0: the loop goes on to the next page
    }

    const ServiceSettings& settings_;
    SessionContext session_;
    ListedUser user_;
    RunHooks hooks_;
    Text albumId_;
    Text type_;
    int pages_ = 1;
    int page_ = 0;
    int index_ = 0;
    int onPage_ = 0;
    bool ended_ = false;
    JsonValue answer_;
    JsonValue list_;
};

}  // namespace

AlbumServiceProtocol::AlbumServiceProtocol(ServiceSettings settings, SessionContext session)
    : settings_(std::move(settings)), session_(session) {}

const RecordLayout& AlbumServiceProtocol::RecordsLayout() {
    static const RecordLayout layout{Text(), Text("photo_id"), 20, true};
    return layout;
}

bool AlbumServiceProtocol::HasMarkers(const Text& page) {
    return !UserIdFromPage(page).empty();
}

ServiceOutcome AlbumServiceProtocol::ResolveUser(const Text& homePageAddress,
                                                 const std::optional<Text>& page, const RunHooks&,
                                                 ListedUser& user, Text& failure) {
    Text text;
    if (page) {
        text = *page;
    } else {
        text = Utf8PageToText(
            WebRequest(homePageAddress, {.failure = &failure, .cookieStore = &session_.cookies}));
        if (!failure.empty()) return ServiceOutcome::Unreachable;
    }
    user = ListedUser{homePageAddress, UserIdFromPage(text), UserTitleFromPage(text)};
    return ServiceOutcome::Done;
}

std::int64_t AlbumServiceProtocol::UploadSeconds(const Text& timestamp) {
    std::int64_t t = ToInt64(timestamp);
    return t > kMillisecondThreshold ? t / 1000 : t;
}

ServiceOutcome AlbumServiceProtocol::ListAlbums(const ListedUser& user, const RunHooks& hooks,
                                                std::vector<AlbumListing>& albums, Text& failure) {
    const GovernedAnswer reply =
        GovernedPage(session_, hooks, false, AlbumListUrl(settings_.photoService, user.userId));
    if (reply.outcome == GovernedOutcome::GaveUp) return ServiceOutcome::Refused;
    if (reply.outcome == GovernedOutcome::Stopped || StopRequested())
        return ServiceOutcome::Stopped;
    failure = reply.failure;
    JsonValue answer;
    answer.Parse(Utf8PageToText(reply.body));
    if (!failure.empty()) return ServiceOutcome::Unreachable;
    const JsonValue list = AlbumListOf(answer);
    const int n = list.Length();
    for (int i = 0; i < n; ++i) {
        const AlbumEntry entry = ReadAlbumEntry(list.Element(i));
        albums.push_back({entry.name, entry.coverAddress, entry.count, AlbumKey(entry)});
    }
    return ServiceOutcome::Done;
}

std::unique_ptr<PhotoCursor> AlbumServiceProtocol::OpenAlbum(const ListedUser& user,
                                                             const AlbumListing& album,
                                                             const RunHooks& hooks) {
    return std::make_unique<AlbumServiceCursor>(settings_, session_, user, album, hooks);
}

Text AlbumServiceProtocol::AlbumPageAddress(const ListedUser& user) const {
    return AlbumPageUrl(settings_.photoService, user.userId);
}

Text AlbumServiceProtocol::ImageHeaders() const {
    // The image hosts refuse a foreign Referer; the site's own is what a browser sends.
    const Text home = WithoutTrailingSlash(settings_.homePage);
    return home.empty() ? Text() : Text("Referer: ") + home + Text("/");
}

}  // namespace ovx
