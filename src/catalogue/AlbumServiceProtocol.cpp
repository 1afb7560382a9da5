#include "catalogue/AlbumServiceProtocol.h"

#include <algorithm>

#include "catalogue/Catalogue.h"
#include "catalogue/JsonValue.h"
#include "catalogue/ServiceProtocol.h"
#include "runtime/Convert.h"
#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/PumpingDelay.h"
#include "web/ScriptHelpers.h"
#include "web/WebRequest.h"

namespace ovx {
namespace {

constexpr int kPageTries = 10;
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
    // Asks for the next page until it is a photo-list answer, at most 10 times; a page that
    // stays unreadable is logged and passed over.
    Step FetchPage() {
        const Text url = PhotoListUrl(settings_.photoService, user_.userId, albumId_, page_, type_,
                                      RandomFraction17());
        for (int attempt = 1; attempt <= kPageTries; ++attempt) {
            if (!hooks_.Checkpoint()) return Step::Stopped;
            // A throttling answer is waited out and asked again; it uses up no try.
            Bytes body;
            bool refused = false;
            const bool answered = Governed(
                session_.governor, hooks_, false,
                [&] {
                    Text headers;
                    int status = 0;
                    body = WebRequest(url, {.returnedHeaders = &headers,
                                            .statusCode = &status,
                                            .cookieStore = session_.cookies});
                    return Attempt{status, RequestGovernor::RetryAfterSeconds(headers.view())};
                },
                refused);
            if (refused) return Step::Refused;
            if (!answered || StopRequested()) return Step::Stopped;
            const Text text = Utf8PageToText(body);
            // An error page or a throttling answer is retried like an empty one.
            if (!text.empty() && answer_.Parse(text) && IsPhotoListAnswer(answer_)) {
                list_ = PhotoListOf(answer_);
                onPage_ = list_.Length();
                // An empty list: the album has no more photos, whatever its count said.
                if (onPage_ == 0) {
                    ended_ = true;
                    return Step::End;
                }
                return Step::Photo;
            }
            PumpingDelay(hooks_.pageRetryWait.count(), DelayUnit::Milliseconds);
            if (StopRequested()) return Step::Stopped;
        }
        hooks_.Log("相册《"_t + hooks_.albumTitle + "》第"_t + ToText(page_) +
                   "页读取失败，已跳过\r\n"_t);
        if (hooks_.pageLost) hooks_.pageLost();
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

ListedUser AlbumServiceProtocol::UserFromPage(const Text& homePageAddress, const Text& page) {
    return ListedUser{homePageAddress, UserIdFromPage(page), UserTitleFromPage(page)};
}

bool AlbumServiceProtocol::HasMarkers(const Text& page) {
    return !UserIdFromPage(page).empty();
}

std::int64_t AlbumServiceProtocol::UploadSeconds(const Text& timestamp) {
    std::int64_t t = ToInt64(timestamp);
    return t > kMillisecondThreshold ? t / 1000 : t;
}

ServiceOutcome AlbumServiceProtocol::ListAlbums(const ListedUser& user, const RunHooks& hooks,
                                                std::vector<AlbumListing>& albums, Text& failure) {
    JsonValue answer;
    Bytes body;
    bool refused = false;
    const bool answered = Governed(
        session_.governor, hooks, false,
        [&] {
            Text headers;
            int status = 0;
            body = WebRequest(AlbumListUrl(settings_.photoService, user.userId),
                              {.returnedHeaders = &headers,
                               .statusCode = &status,
                               .failure = &failure,
                               .cookieStore = session_.cookies});
            return Attempt{status, RequestGovernor::RetryAfterSeconds(headers.view())};
        },
        refused);
    if (refused) return ServiceOutcome::Refused;
    if (!answered || StopRequested()) return ServiceOutcome::Stopped;
    answer.Parse(Utf8PageToText(body));
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
    Text home = settings_.homePage;
    while (!home.empty() && home.view().back() == '/') home = LeftText(home, TextLength(home) - 1);
    return home.empty() ? Text() : Text("Referer: ") + home + Text("/");
}

}  // namespace ovx
